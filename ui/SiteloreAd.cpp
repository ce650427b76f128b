#include "ui/SiteloreAd.h"

#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

#include "ui/ShellOpen.h"

namespace {

constexpr const char* kLines[] = {
    "When you browse different web-pages using Internet Explorer it stores their",
    "URLs and even their content including images and other media on your",
    "computer's hard drive. Also it stores \"cookies\" on your computer. ",
    "Cookies helps web-sites to spy out your interests and favorite sites.",
    "",
    "Moreover, unauthorized persons are able to extract such information ",
    "from your computer with ease using special software like this one.",
    "",
    "Brightmoor, Inc. recommends you to use special tracks-removal",
    "software like Tidewell. It allows you to control and completely",
    "remove all tracks of viewed web-pages from your computer using special",
    "methods that meets special U.S. Department of Defence file destroying",
    "requirements.",
    "",
    "For more information about Tidewell, please, visit our web-site:",
    "HTTP://WWW.BRIGHTMOOR.EXAMPLE/",
};

void ScrollToTop(QPlainTextEdit* memo) {
  memo->moveCursor(QTextCursor::Start);
  memo->verticalScrollBar()->setValue(0);
}

}  // namespace

QString TfrmAd::AdvertisementText() {
  QStringList lines;
  for (const char* line : kLines) lines << QString::fromUtf8(line);
  return lines.join(QLatin1Char('\n'));
}

TfrmAd::TfrmAd(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("frmAd"));
  setWindowTitle(QStringLiteral("How to get rid of all these files?"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(481, 298);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(10);
  setFont(font);
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setGeometry(0, 0, 481, 258);
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setPlainText(AdvertisementText());
  ScrollToTop(Memo1);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(0, 258, 481, 40);
  Panel1->setFrameShape(QFrame::NoFrame);

  Button2 = new QPushButton(QStringLiteral("Visit Tidewell web-site now!"), Panel1);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(10, 7, 244, 26);
  Button1 = new QPushButton(QStringLiteral("OK"), Panel1);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(394, 7, 81, 26);
  // A dialog has one default button here; Enter closes with OK rather than
  // opening a web page.
  Button1->setDefault(true);

  setTabOrder(Memo1, Button2);
  setTabOrder(Button2, Button1);
  connect(Button2, &QPushButton::clicked, this, &TfrmAd::Button2Click);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAd::Button2Click() {
  ShellOpen(kTidewellPage);
  accept();
}

void TfrmAd::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QScreen* where = screen()) {
    QRect area = where->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  ScrollToTop(Memo1);
}

void TfrmAd::keyPressEvent(QKeyEvent* event) {
  // Neither button is a cancel button: Escape does not close the dialog.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void ShowAdDialog(QWidget* owner) {
  QPointer<TfrmAd> dialog = new TfrmAd(owner);
  // Destroyed on every way out, and not twice when the owner went first.
  struct Destroy {
    QPointer<TfrmAd>& dialog;
    ~Destroy() { delete dialog.data(); }
  } destroy{dialog};
  dialog->exec();
}

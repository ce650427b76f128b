#include "ui/SiteloreAd.h"

#include <QApplication>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <functional>

#include <gtest/gtest.h>

#include "platform/shell/testing/RecordingLauncher.h"

namespace {

using shell::LaunchRequest;

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
}

// Runs `act` on the modal dialog once its loop runs. Should the dialog not
// be there, every dialog is closed so that the test fails instead of hanging.
void WhenModal(std::function<void(TfrmAd*)> act) {
  QTimer::singleShot(0, [act] {
    if (auto* dialog = qobject_cast<TfrmAd*>(QApplication::activeModalWidget())) {
      act(dialog);
      return;
    }
    ADD_FAILURE() << "no modal dialog";
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
    }
  });
}

// The widget after `from` that the Tab key reaches.
QWidget* NextTabStop(QWidget* from) {
  for (QWidget* w = from->nextInFocusChain(); w != from; w = w->nextInFocusChain()) {
    if ((w->focusPolicy() & Qt::TabFocus) != 0 && !from->isAncestorOf(w)) return w;
  }
  return nullptr;
}

class AdDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApplication(); }
  shell::RecordingLauncher launcher;
  shell::ScopedLauncher scoped{launcher};
};

TEST_F(AdDialogTest, TextIsTheSixteenLines) {
  TfrmAd dialog;
  QStringList lines = dialog.Memo1->toPlainText().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 16);
  EXPECT_EQ(lines[0],
            "When you browse different web-pages using Internet Explorer it stores their");
  EXPECT_EQ(lines[2], "computer's hard drive. Also it stores \"cookies\" on your computer. ");
  EXPECT_EQ(lines[3], "Cookies helps web-sites to spy out your interests and favorite sites.");
  EXPECT_EQ(lines[5], "Moreover, unauthorized persons are able to extract such information ");
  EXPECT_EQ(lines[11], "methods that meets special U.S. Department of Defence file destroying");
  EXPECT_EQ(lines[14], "For more information about Tidewell, please, visit our web-site:");
  EXPECT_EQ(lines[15], "HTTP://WWW.BRIGHTMOOR.EXAMPLE/");
  for (int empty : {4, 7, 13}) EXPECT_TRUE(lines[empty].isEmpty()) << empty;
  for (int i = 0; i < 16; ++i) {
    if (i != 2 && i != 5) {
      EXPECT_FALSE(lines[i].endsWith(' ')) << i;
    }
  }
}

TEST_F(AdDialogTest, LayoutAndControls) {
  TfrmAd dialog;
  EXPECT_EQ(dialog.objectName(), "frmAd");
  EXPECT_EQ(dialog.windowTitle(), "How to get rid of all these files?");
  EXPECT_EQ(dialog.minimumSize(), QSize(481, 298));
  EXPECT_EQ(dialog.maximumSize(), QSize(481, 298));
  EXPECT_EQ(dialog.Memo1->objectName(), "Memo1");
  EXPECT_EQ(dialog.Memo1->geometry(), QRect(0, 0, 481, 258));
  EXPECT_TRUE(dialog.Memo1->isReadOnly());
  EXPECT_EQ(dialog.Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(dialog.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(dialog.Panel1->objectName(), "Panel1");
  EXPECT_EQ(dialog.Panel1->geometry(), QRect(0, 258, 481, 40));
  EXPECT_EQ(dialog.Button2->objectName(), "Button2");
  EXPECT_EQ(dialog.Button2->text(), "Visit Tidewell web-site now!");
  EXPECT_EQ(dialog.Button2->geometry(), QRect(10, 7, 244, 26));
  EXPECT_EQ(dialog.Button2->parentWidget(), dialog.Panel1);
  EXPECT_EQ(dialog.Button1->objectName(), "Button1");
  EXPECT_EQ(dialog.Button1->text(), "OK");
  EXPECT_EQ(dialog.Button1->geometry(), QRect(394, 7, 81, 26));
  EXPECT_EQ(NextTabStop(dialog.Memo1), dialog.Button2);
  EXPECT_EQ(NextTabStop(dialog.Button2), dialog.Button1);
}

TEST_F(AdDialogTest, VisitOpensTidewellsPageThenClosesWithOk) {
  TfrmAd dialog;
  WhenModal([](TfrmAd* d) { QTest::mouseClick(d->Button2, Qt::LeftButton); });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  ASSERT_EQ(launcher.requests.size(), 1u);
  EXPECT_EQ(
      launcher.requests[0],
      (LaunchRequest{LaunchRequest::kOpen, "http://www.brightmoor.example/tidewell/", "", {}}));
}

TEST_F(AdDialogTest, VisitClosesAlsoWhenTheShellFails) {
  launcher.openResult = shell::LaunchResult::kNoHandler;
  TfrmAd dialog;
  WhenModal([](TfrmAd* d) { QTest::mouseClick(d->Button2, Qt::LeftButton); });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(launcher.requests.size(), 1u);
}

TEST_F(AdDialogTest, OkClosesWithOkAndOpensNothing) {
  TfrmAd dialog;
  WhenModal([](TfrmAd* d) { QTest::mouseClick(d->Button1, Qt::LeftButton); });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_TRUE(launcher.requests.empty());
}

// Presses `key` on `target` inside the running dialog; a dialog that stays
// open is cancelled, so that the test fails instead of hanging.
void PressWhenModal(QWidget* (*target)(TfrmAd*), Qt::Key key) {
  WhenModal([target, key](TfrmAd* d) {
    QWidget* focus = target(d);
    focus->setFocus();
    QTest::keyClick(focus, key);
    if (d->isVisible()) d->reject();
  });
}

TEST_F(AdDialogTest, EnterAndSpacePressTheFocusedButton) {
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
    launcher.requests.clear();
    TfrmAd visit;
    PressWhenModal([](TfrmAd* d) -> QWidget* { return d->Button2; }, key);
    EXPECT_EQ(visit.exec(), QDialog::Accepted) << key;
    EXPECT_EQ(launcher.requests.size(), 1u) << key;

    TfrmAd ok;
    PressWhenModal([](TfrmAd* d) -> QWidget* { return d->Button1; }, key);
    EXPECT_EQ(ok.exec(), QDialog::Accepted) << key;
    EXPECT_EQ(launcher.requests.size(), 1u) << key;
  }
  // Enter in the text closes with OK and opens nothing.
  launcher.requests.clear();
  TfrmAd text;
  PressWhenModal([](TfrmAd* d) -> QWidget* { return d->Memo1; }, Qt::Key_Return);
  EXPECT_EQ(text.exec(), QDialog::Accepted);
  EXPECT_TRUE(launcher.requests.empty());
}

TEST_F(AdDialogTest, CloseBoxCancelsAndEscapeDoesNotClose) {
  TfrmAd dialog;
  bool stillOpenAfterEscape = false;
  WhenModal([&stillOpenAfterEscape](TfrmAd* d) {
    QTest::keyClick(d, Qt::Key_Escape);
    stillOpenAfterEscape = d->isVisible();
    d->close();
  });
  EXPECT_EQ(dialog.exec(), QDialog::Rejected);
  EXPECT_TRUE(stillOpenAfterEscape);
  EXPECT_TRUE(launcher.requests.empty());
}

TEST_F(AdDialogTest, EveryOpeningIsAFreshDialogDestroyedAfterwards) {
  QWidget owner;
  QPointer<TfrmAd> first;
  WhenModal([&first, &owner](TfrmAd* d) {
    first = d;
    EXPECT_EQ(d->parentWidget(), &owner);
    EXPECT_TRUE(d->isModal());
    d->Memo1->moveCursor(QTextCursor::End);
    d->Memo1->setPlainText(QStringLiteral("changed"));
    QTest::mouseClick(d->Button1, Qt::LeftButton);
  });
  ShowAdDialog(&owner);
  EXPECT_TRUE(first.isNull());

  QString secondText;
  int secondScroll = -1;
  int secondCursor = -1;
  WhenModal([&](TfrmAd* d) {
    secondText = d->Memo1->toPlainText();
    secondScroll = d->Memo1->verticalScrollBar()->value();
    secondCursor = d->Memo1->textCursor().position();
    d->close();
  });
  ShowAdDialog(&owner);
  EXPECT_EQ(secondText, TfrmAd::AdvertisementText());
  EXPECT_EQ(secondScroll, 0);
  EXPECT_EQ(secondCursor, 0);
  EXPECT_TRUE(owner.findChildren<TfrmAd*>().isEmpty());
}

}  // namespace

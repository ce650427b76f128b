#include "ui/SiteloreMain.h"

#include <QApplication>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/CachedSitesFrame.h"
#include "ui/DesignFont.h"
#include "ui/ErrorReport.h"
#include "ui/SiteloreAd.h"

// Resources of a static library are registered by hand; the call must stand
// outside any namespace.
static void RegisterSiteloreResources() {
  Q_INIT_RESOURCE(sitelore);
}

const char kAnalyzingMessage[] = "Analyzing your computer, please wait...";

namespace {

// Main window design values.
constexpr int kFormWidth = 522;
constexpr int kFrameHeight = 369;
constexpr int kPanelHeight = 36;

QEvent::Type FormCreateEvent() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

QEvent::Type FormDestroyEvent() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace

TfrmSiteloreMain::TfrmSiteloreMain(QWidget* parent) : QWidget(parent) {
  BuildControls();
  SendFormEvent(FormCreateEvent());
}

TfrmSiteloreMain::~TfrmSiteloreMain() {
  SendFormEvent(FormDestroyEvent());
}

void TfrmSiteloreMain::SendFormEvent(int type) {
  QEvent event(static_cast<QEvent::Type>(type));
  QCoreApplication::sendEvent(this, &event);
}

bool TfrmSiteloreMain::event(QEvent* event) {
  if (event->type() == FormCreateEvent()) {
    RunHandler([this] { FormCreate(this); });
    return true;
  }
  if (event->type() == FormDestroyEvent()) {
    RunHandler([this] { FormDestroy(this); });
    return true;
  }
  return QWidget::event(event);
}

void TfrmSiteloreMain::BuildControls() {
  setObjectName(QStringLiteral("frmSiteloreMain"));
  setWindowTitle(QStringLiteral("Sitelore"));
  setFont(DesignFont(11));

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameShape(QFrame::NoFrame);
  Panel1->setFixedHeight(kPanelHeight);
  Close = new QPushButton(QStringLiteral("Close"), Panel1);
  Close->setObjectName(QStringLiteral("Close"));
  Close->setGeometry(418, 0, 100, 33);
  Button1 = new QPushButton(QStringLiteral("How to get rid of all these traces?"), Panel1);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(8, 0, 267, 33);
  Button1->setFont(DesignFont(11, true));
  // Neither is the window's default button, but the focused one takes
  // Enter as well as Space, as a focused button of a form does.
  for (QPushButton* button : {Close, Button1}) {
    button->setAutoDefault(true);
    button->setDefault(false);
  }
  frameSites = new TframeCachedSites(this);
  frameSites->setObjectName(QStringLiteral("frameSites"));

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(frameSites, 1);
  column->addWidget(Panel1);
  resize(kFormWidth, kFrameHeight + kPanelHeight);

  // Panel1 comes first in the tab order, then the frame.
  setTabOrder(Close, Button1);
  setTabOrder(Button1, frameSites);

  connect(Close, &QPushButton::clicked, this,
          [this] { RunHandler([this] { CloseClick(Close); }); });
  connect(Button1, &QPushButton::clicked, this,
          [this] { RunHandler([this] { Button1Click(Button1); }); });
}

void TfrmSiteloreMain::FormCreate(QObject* /*Sender*/) {
  std::unique_ptr<TSplashWindow> splash =
      OpenSplash(QApplication::windowIcon(), QString::fromLatin1(kAnalyzingMessage));
  const auto finish = [&] {
    splash.reset();
    BringWindowToFront(this, true);
  };
  try {
    frameSites->CreateAnalyzer();
    frameSites->AnalyzeCache();
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

void TfrmSiteloreMain::FormDestroy(QObject* /*Sender*/) {
  frameSites->FreeAnalyzer();
}

void TfrmSiteloreMain::CloseClick(QObject* /*Sender*/) {
  QCoreApplication::quit();
}

void TfrmSiteloreMain::Button1Click(QObject* /*Sender*/) {
  ShowAdDialog(this);
}

QIcon SiteloreIcon() {
  static const bool registered = (RegisterSiteloreResources(), true);
  (void)registered;
  QIcon icon;
  for (int size : {16, 32, 48, 64})
    icon.addFile(QStringLiteral(":/sitelore/sitelore-%1.png").arg(size), QSize(size, size));
  return icon;
}

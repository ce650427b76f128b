// sitelore-demo OUT.png [HOME]: runs Sitelore's start-up exactly as the
// program does, saves a picture of the main window to OUT.png once it is
// shown, and ends. Browser profiles are looked for under HOME (default
// $HOME). Errors that the program would report in a message box are printed.
#include <QCoreApplication>
#include <QPixmap>
#include <QPushButton>
#include <cstdio>
#include <string>

#include "platform/sources/BrowserProvider.h"
#include "platform/sources/view/ViewFolder.h"
#include "settings/Options.h"
#include "tools/ToolCommandLine.h"
#include "ui/CachedSitesFrame.h"
#include "ui/ListBox.h"
#include "ui/SiteloreApp.h"
#include "ui/SiteloreMain.h"

int main(int argc, char** argv) {
  CLI::App app{"Runs Sitelore's start-up, saves a picture of its main window and ends.",
               "sitelore-demo"};
  std::string picture;
  std::string home;
  app.add_option("OUT.png", picture, "Where the picture goes")->required();
  app.add_option("HOME", home, "The home folder whose browser profiles are shown (default $HOME)");
  if (std::optional<int> code = ParseToolCommandLine(app, argc, argv)) return *code;
  const sources::DiscoveryRoots roots =
      home.empty() ? sources::RootsFromEnvironment() : sources::DiscoveryRoots{home, "", ""};
  const sources::view::ViewFolder view = sources::view::ViewFolder::ForThisProcess();
  const auto machine = sources::MakeMachineProvider(roots, view.Path());
  urlcache::SetProvider(machine.get());
  const QString out = QString::fromLocal8Bit(picture.c_str());
  bool saved = false;
  int programArgc = 1;

  SiteloreHooks hooks;
  hooks.start = OptionsStartHook;
  hooks.end = OptionsEndHook;
  hooks.report = [](const QString& caption, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
  };
  hooks.shown = [&](TfrmSiteloreMain& window) {
    // Preview the first image as a click on it would.
    TframeCachedSites& frame = *window.frameSites;
    if (frame.lbxImages->Count() > 0) {
      frame.lbxImages->SetItemIndex(0);
      frame.lbxImagesClick(frame.lbxImages);
    }
    QCoreApplication::processEvents();
    saved = window.grab().save(out, "PNG");
    if (!saved) std::fprintf(stderr, "sitelore-demo: cannot write %s\n", picture.c_str());
    window.Close->click();
  };
  const int code = RunSitelore(programArgc, argv, hooks);
  urlcache::SetProvider(nullptr);
  return saved ? code : 1;
}

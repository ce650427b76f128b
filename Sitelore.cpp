// Sitelore: shows which browsing traces a web browser left on this computer,
// grouped by web site. Takes no arguments.
#include "platform/sources/BrowserProvider.h"
#include "platform/sources/view/ViewFolder.h"
#include "settings/Options.h"
#include "ui/SiteloreApp.h"

int main(int argc, char** argv) {
  // The WinINet cache, then every browser profile of this user, whose traces
  // are opened from a private folder that goes when the program ends.
  const sources::view::ViewFolder view = sources::view::ViewFolder::ForThisProcess();
  const auto sources = sources::MakeMachineProvider(sources::RootsFromEnvironment(), view.Path());
  urlcache::SetProvider(sources.get());
  SiteloreHooks hooks;
  hooks.start = OptionsStartHook;
  hooks.end = OptionsEndHook;
  const int code = RunSitelore(argc, argv, hooks);
  urlcache::SetProvider(nullptr);
  return code;
}

// Sitelore: shows which browsing traces a web browser left on this computer,
// grouped by web site. Takes no arguments.
#include "settings/Options.h"
#include "ui/SiteloreApp.h"

int main(int argc, char** argv) {
  SiteloreHooks hooks;
  hooks.start = OptionsStartHook;
  hooks.end = OptionsEndHook;
  return RunSitelore(argc, argv, hooks);
}

// Sitelore: shows which browsing traces a web browser left on this computer,
// grouped by web site. Takes no arguments.
#include "ui/SiteloreApp.h"

int main(int argc, char** argv) {
  return RunSitelore(argc, argv, {});
}

// PLACEHOLDER until the installed-control query is built.
#include "controls/controls.h"

int QueryInstalledControls() { return 0; }
void QueryAction(HWND) {}

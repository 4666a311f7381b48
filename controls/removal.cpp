// PLACEHOLDER until control removal is built.
#include "controls/controls.h"

int UninstallControl(const wchar_t *) { return 1; }
void DoubleClickAction(HWND) {}
void UninstallAllAction(HWND) {}

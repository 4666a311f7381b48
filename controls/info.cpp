// PLACEHOLDER until control information is built.
#include "controls/controls.h"

void RightClickAction(HWND, WPARAM, LPARAM) {}

// PLACEHOLDER until the download location is built.
#include "controls/controls.h"

void DownloadAction(HWND) {}

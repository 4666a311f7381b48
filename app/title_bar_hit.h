// What a left-button press on the title bar does, worked out from where it
// lands. Free of the Windows headers so it can be checked natively.
#pragma once

struct TitleBarPress {
    int page;     // page mode after the press
    int repaints; // how often both windows are invalidated (0, 1 or 2)
    int drag;     // 1 when the main window is to be dragged
};

// x and y are the press position in title bar coordinates, page the page mode
// before the press. The register column (10..85) and the uninstall column
// (85..160) are tested one after the other and share x = 85, so the uninstall
// test wins there. The tab band is 40..90 in y.
TitleBarPress PressTitleBar(unsigned x, unsigned y, int page);

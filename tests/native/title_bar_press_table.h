// Every row of the title bar's press table, with bounds on both sides of each
// edge: all checked on the pure hit test, the first of each outcome on a real
// title bar window.
#pragma once

#include "app/title_bar_hit.h"

struct PressRow {
    const char *where;
    unsigned x, y;
    int pageBefore, pageAfter;
    int repaints;
    bool drag;
};

const PressRow kPressTable[] = {
    {"left of the tabs", 5, 60, 2, 2, 0, true},
    {"left of the tabs, top", 0, 0, 1, 1, 0, true},
    {"just left of the register tab", 9, 60, 2, 2, 0, true},
    {"right of the tabs", 300, 60, 1, 1, 0, true},
    {"just right of the uninstall tab", 161, 60, 2, 2, 0, true},
    {"right of the tabs, top", 600, 10, 2, 2, 0, true},
    {"register tab, top-left bound", 10, 40, 2, 1, 1, true},
    {"register tab", 40, 60, 2, 1, 1, true},
    {"register tab, bottom-right bound", 84, 90, 2, 1, 1, true},
    {"register tab already selected", 40, 60, 1, 1, 1, true},
    {"register column above the band", 40, 39, 2, 2, 1, true},
    {"register column at the caption", 40, 5, 2, 2, 1, true},
    {"register column below the band", 40, 91, 2, 2, 1, true},
    {"shared column in the band", 85, 60, 1, 2, 2, false},
    {"shared column, band top", 85, 40, 1, 2, 2, false},
    {"shared column, band bottom", 85, 90, 1, 2, 2, false},
    {"shared column above the band", 85, 20, 1, 1, 1, false},
    {"shared column above the band, uninstall page", 85, 39, 2, 2, 1, false},
    {"uninstall tab, left bound", 86, 40, 1, 2, 1, false},
    {"uninstall tab", 120, 60, 1, 2, 1, false},
    {"uninstall tab, right bound", 160, 90, 1, 2, 1, false},
    {"uninstall tab already selected", 120, 60, 2, 2, 1, false},
    {"uninstall column above the band", 120, 20, 1, 1, 0, false},
    {"uninstall column, right bound above the band", 160, 39, 2, 2, 0, false},
    {"uninstall column below the band", 86, 91, 1, 1, 0, false},
};

// Hit areas of the title bar's two tabs.
#include "app/title_bar_hit.h"

static int InTabBand(unsigned y)
{
    return y >= 40 && y <= 90;
}

TitleBarPress PressTitleBar(unsigned x, unsigned y, int page)
{
    TitleBarPress press = {page, 0, 0};
    if (x >= 10 && x <= 85) {
        if (InTabBand(y))
            press.page = 1;
        // Repainted whatever y is.
        press.repaints++;
    }
    if (x >= 85 && x <= 160) {
        if (InTabBand(y)) {
            press.page = 2;
            press.repaints++;
        }
    } else {
        // Everything outside the uninstall column drags, the register column included.
        press.drag = 1;
    }
    return press;
}

// One line of white label text, used by the pages and the title bar.
#include "app/app.h"

void DrawLabel(HDC dc, const wchar_t *text, int x, int y)
{
    SetBkMode(dc, TRANSPARENT);
    HFONT font = CreateFontW(16, 8, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, kGb2312Charset,
                             OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, 0x71, kFontFace);
    HGDIOBJ previous = SelectObject(dc, font);
    SetTextColor(dc, kLabelColour);
    TextOutW(dc, x, y, text, lstrlenW(text));
    SelectObject(dc, previous);
    DeleteObject(font);
}

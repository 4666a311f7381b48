// Counts live drawing objects made by code of this program. Wine answers
// GetGuiResources with 0, so the program's own import table is redirected to
// counting wrappers instead; only the tool's calls (linked into this program)
// go through it, not those of the system's controls.
#include "window/support/window_support.h"

#include <set>

static std::set<HANDLE> g_live;

typedef HFONT(WINAPI *CreateFontIndirectWFn)(const LOGFONTW *);
typedef HFONT(WINAPI *CreateFontWFn)(int, int, int, int, int, DWORD, DWORD, DWORD, DWORD, DWORD,
                                     DWORD, DWORD, DWORD, LPCWSTR);
typedef HBRUSH(WINAPI *CreateSolidBrushFn)(COLORREF);
typedef HRGN(WINAPI *CreateRoundRectRgnFn)(int, int, int, int, int, int);
typedef HDC(WINAPI *CreateCompatibleDCFn)(HDC);
typedef BOOL(WINAPI *DeleteObjectFn)(HGDIOBJ);
typedef BOOL(WINAPI *DeleteDCFn)(HDC);
typedef HANDLE(WINAPI *LoadImageWFn)(HINSTANCE, LPCWSTR, UINT, int, int, UINT);

static CreateFontIndirectWFn g_createFontIndirect;
static CreateFontWFn g_createFont;
static CreateSolidBrushFn g_createSolidBrush;
static CreateRoundRectRgnFn g_createRoundRectRgn;
static CreateCompatibleDCFn g_createCompatibleDC;
static DeleteObjectFn g_deleteObject;
static DeleteDCFn g_deleteDC;
static LoadImageWFn g_loadImage;

template <typename H>
static H Track(H handle)
{
    if (handle)
        g_live.insert((HANDLE)handle);
    return handle;
}

static HFONT WINAPI CountCreateFontIndirectW(const LOGFONTW *font)
{
    return Track(g_createFontIndirect(font));
}

static HFONT WINAPI CountCreateFontW(int a, int b, int c, int d, int e, DWORD f, DWORD g, DWORD h,
                                     DWORD i, DWORD j, DWORD k, DWORD l, DWORD m, LPCWSTR n)
{
    return Track(g_createFont(a, b, c, d, e, f, g, h, i, j, k, l, m, n));
}

static HBRUSH WINAPI CountCreateSolidBrush(COLORREF colour)
{
    return Track(g_createSolidBrush(colour));
}

static HRGN WINAPI CountCreateRoundRectRgn(int a, int b, int c, int d, int e, int f)
{
    return Track(g_createRoundRectRgn(a, b, c, d, e, f));
}

static HDC WINAPI CountCreateCompatibleDC(HDC dc)
{
    return Track(g_createCompatibleDC(dc));
}

static BOOL WINAPI CountDeleteObject(HGDIOBJ object)
{
    BOOL ok = g_deleteObject(object);
    if (ok)
        g_live.erase((HANDLE)object);
    return ok;
}

static BOOL WINAPI CountDeleteDC(HDC dc)
{
    BOOL ok = g_deleteDC(dc);
    if (ok)
        g_live.erase((HANDLE)dc);
    return ok;
}

static HANDLE WINAPI CountLoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy,
                                     UINT flags)
{
    HANDLE image = g_loadImage(instance, name, type, cx, cy, flags);
    // Shared images belong to the system and are never deleted.
    if (type == IMAGE_BITMAP && !(flags & LR_SHARED))
        Track(image);
    return image;
}

template <typename Fn>
static void Redirect(const char *dll, const char *function, Fn wrapper, Fn *original)
{
    *original = (Fn)RedirectImport(dll, function, (void *)wrapper);
}

void StartCountingGdiObjects()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    Redirect("gdi32.dll", "CreateFontIndirectW", &CountCreateFontIndirectW, &g_createFontIndirect);
    Redirect("gdi32.dll", "CreateFontW", &CountCreateFontW, &g_createFont);
    Redirect("gdi32.dll", "CreateSolidBrush", &CountCreateSolidBrush, &g_createSolidBrush);
    Redirect("gdi32.dll", "CreateRoundRectRgn", &CountCreateRoundRectRgn, &g_createRoundRectRgn);
    Redirect("gdi32.dll", "CreateCompatibleDC", &CountCreateCompatibleDC, &g_createCompatibleDC);
    Redirect("gdi32.dll", "DeleteObject", &CountDeleteObject, &g_deleteObject);
    Redirect("gdi32.dll", "DeleteDC", &CountDeleteDC, &g_deleteDC);
    Redirect("user32.dll", "LoadImageW", &CountLoadImageW, &g_loadImage);
}

long LiveGdiObjects()
{
    return (long)g_live.size();
}

// The main window: its children, the two pages, painting, colours and the
// routing of user actions.
#include "app/app.h"

int g_page = 1;
HWND g_pathEdit;
HWND g_infoEdit;
HWND g_controlList;
HWND g_queryButton;
HWND g_uninstallAllButton;
HWND g_downloadButton;

const wchar_t kFontFace[] = L"宋体";

// The three buttons' captions, also drawn by the window itself.
static const wchar_t kQueryCaption[] = L"查询安装";
static const wchar_t kUninstallAllCaption[] = L"卸载全部";
static const wchar_t kDownloadCaption[] = L"下载控件";

// Fonts and the list brush handed to the controls; made with the window and
// deleted with it, so none pile up from message to message.
static HFONT g_editFont;
static HFONT g_listFont;
static HFONT g_buttonFont;
static HBRUSH g_listBrush;

// A modal box inside an action runs a message loop that can dispatch a new
// drop; such a drop is held back and handled once the action has ended.
static int g_actionDepth;
static HDROP g_heldDrop;

static HFONT CreateChildFont(int height)
{
    LOGFONTW font = {};
    font.lfHeight = height;
    font.lfCharSet = kGb2312Charset;
    CopyMemory(font.lfFaceName, kFontFace, sizeof(kFontFace));
    return CreateFontIndirectW(&font);
}

static HWND CreateChild(HWND parent, HINSTANCE instance, const wchar_t *cls, const wchar_t *text,
                        DWORD style, int x, int y, int width, int height)
{
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                           NULL, instance, NULL);
}

static void OnCreate(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrW(window, GWLP_HINSTANCE);

    CreateChild(window, instance, L"TitleBar", L"", 0, 0, 0, client.right - client.left, 85);
    g_pathEdit = CreateChild(window, instance, L"EDIT", L"", 0, 236, 180, 370, 20);
    g_infoEdit =
        CreateChild(window, instance, L"EDIT", L"", WS_VSCROLL | ES_MULTILINE, 236, 220, 370, 200);
    g_controlList = CreateChild(window, instance, L"LISTBOX", L"",
                                WS_BORDER | WS_VSCROLL | LBS_NOTIFY, 90, 220, 380, 240);
    g_queryButton =
        CreateChild(window, instance, L"BUTTON", kQueryCaption, BS_OWNERDRAW, 500, 220, 100, 50);
    g_uninstallAllButton = CreateChild(window, instance, L"BUTTON", kUninstallAllCaption,
                                       BS_OWNERDRAW, 500, 290, 100, 50);
    g_downloadButton =
        CreateChild(window, instance, L"BUTTON", kDownloadCaption, BS_OWNERDRAW, 500, 360, 100, 50);
    SendMessageW(g_controlList, LB_SETITEMHEIGHT, 0, 30);

    g_editFont = CreateChildFont(16);
    g_listFont = CreateChildFont(25);
    g_buttonFont = CreateChildFont(14);
    g_listBrush = CreateSolidBrush(RGB(255, 255, 255));
}

static void OnDestroy()
{
    DeleteObject(g_editFont);
    DeleteObject(g_listFont);
    DeleteObject(g_buttonFont);
    DeleteObject(g_listBrush);
    g_editFont = g_listFont = g_buttonFont = NULL;
    g_listBrush = NULL;
    if (g_heldDrop) {
        DragFinish(g_heldDrop);
        g_heldDrop = NULL;
    }
    PostQuitMessage(0);
}

static void ShowPage(bool registerPage)
{
    int registerShow = registerPage ? SW_SHOW : SW_HIDE;
    int uninstallShow = registerPage ? SW_HIDE : SW_SHOW;
    ShowWindow(g_infoEdit, registerShow);
    ShowWindow(g_pathEdit, registerShow);
    ShowWindow(g_controlList, uninstallShow);
    ShowWindow(g_queryButton, uninstallShow);
    ShowWindow(g_uninstallAllButton, uninstallShow);
    ShowWindow(g_downloadButton, uninstallShow);
}

static void OnPaint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    DrawLabel(dc, L"使用帮助:", 90, 100);
    if (g_page == 1) {
        DrawLabel(dc, L"    请将后缀为.cab/.ocx/.dll文件拖入到此处窗口！", 90, 140);
        DrawLabel(dc, L"拖入文件路径:", 90, 180);
        DrawLabel(dc, L"文件处理信息:", 90, 220);
        ShowPage(true);
    } else {
        DrawLabel(dc, L"    点击查询,双击列表中的项即可卸载该项,点击卸载全部即可卸载列表", 90, 140);
        DrawLabel(dc, L"中的全部,右键控件即可获取控件的信息.", 90, 180);
        ShowPage(false);
    }
    EndPaint(window, &ps);
}

static void OnDrawItem(const DRAWITEMSTRUCT *item)
{
    if (item->CtlType != ODT_BUTTON)
        return;
    const RECT &r = item->rcItem;
    // The one-pixel strips along the left and top edges stay unpainted.
    HRGN region = CreateRoundRectRgn(r.left + 1, r.top + 1, r.right, r.bottom, 0, 0);
    HBRUSH face = CreateSolidBrush(kPageColour);
    FillRgn(item->hDC, region, face);
    DeleteObject(face);

    const wchar_t *caption = NULL;
    if (item->hwndItem == g_queryButton)
        caption = kQueryCaption;
    else if (item->hwndItem == g_uninstallAllButton)
        caption = kUninstallAllCaption;
    else if (item->hwndItem == g_downloadButton)
        caption = kDownloadCaption;
    if (caption) {
        if ((item->itemState & ODS_SELECTED) &&
            (item->itemAction & (ODA_DRAWENTIRE | ODA_SELECT))) {
            HBRUSH pressed = CreateSolidBrush(kHighlightColour);
            FillRgn(item->hDC, region, pressed);
            DeleteObject(pressed);
        }
        SetBkMode(item->hDC, TRANSPARENT);
        SetTextColor(item->hDC, kLabelColour);
        RECT text = r;
        DrawTextW(item->hDC, caption, 4, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    DeleteObject(region);
}

// Ends an action; a drop held back meanwhile is handled now.
static void EndAction(HWND window)
{
    g_actionDepth--;
    while (g_actionDepth == 0 && g_heldDrop && IsWindow(window)) {
        HDROP next = g_heldDrop;
        g_heldDrop = NULL;
        g_actionDepth++;
        HandleDroppedFile(window, next);
        g_actionDepth--;
    }
}

static void OnDropFiles(HWND window, HDROP drop)
{
    if (g_actionDepth > 0) {
        // Hold one drop back; a further one during the same action is refused.
        if (g_heldDrop)
            DragFinish(drop);
        else
            g_heldDrop = drop;
        return;
    }
    g_actionDepth++;
    HandleDroppedFile(window, drop);
    EndAction(window);
}

// lParam alone tells the senders apart: every child has identifier 0.
static void OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    HWND sender = (HWND)lParam;
    g_actionDepth++;
    if (sender == g_controlList) {
        if (HIWORD(wParam) == LBN_DBLCLK)
            DoubleClickAction(window);
    } else if (sender == g_queryButton) {
        QueryAction(window);
    } else if (sender == g_uninstallAllButton) {
        UninstallAllAction(window);
    } else if (sender == g_downloadButton) {
        DownloadAction(window);
    }
    EndAction(window);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_DRAWITEM:
        OnDrawItem((const DRAWITEMSTRUCT *)lParam);
        return 0;
    case WM_CTLCOLOREDIT:
        SelectObject((HDC)wParam, g_editFont);
        SetTextColor((HDC)wParam, RGB(0, 0, 255));
        return 0;
    case WM_CTLCOLORLISTBOX:
        SelectObject((HDC)wParam, g_listFont);
        SetBkMode((HDC)wParam, TRANSPARENT);
        return (LRESULT)g_listBrush;
    case WM_CTLCOLORBTN:
        SelectObject((HDC)wParam, g_buttonFont);
        return 0;
    case WM_CONTEXTMENU:
        g_actionDepth++;
        RightClickAction(window, wParam, lParam);
        EndAction(window);
        return 0;
    case WM_COMMAND:
        OnCommand(window, wParam, lParam);
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_DROPFILES:
        OnDropFiles(window, (HDROP)wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

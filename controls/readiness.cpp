// Whether the browser will load a control, from facts on the PC and without
// loading it: its server file in each view that holds its class, the DLLs
// that file needs, the kill bit, the add-on manager and the add-on policy.
// Read only; nothing here is ever changed.
#include "controls/controls.h"

#include "base/text.h"
#include "register/register.h"

static const wchar_t kCompatibility[] =
    L"SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\";
static const wchar_t kCompatibilityPolicy[] =
    L"SOFTWARE\\Policies\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\";
static const wchar_t kAddOnSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings\\";
static const wchar_t kAddOnPolicy[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Ext";
static const wchar_t kAddOnList[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Ext\\CLSID";
const DWORD kKillBit = 0x400;

const wchar_t *ProblemCodeName(int code)
{
    switch (code) {
    case kProblemServerMissing:
        return L"server-missing";
    case kProblemWrongMachine:
        return L"server-wrong-machine";
    case kProblemDependencyMissing:
        return L"dependency-missing";
    case kProblemKillBit:
        return L"kill-bit";
    case kProblemAddOnDisabled:
        return L"addon-disabled";
    default:
        return L"addon-denied-by-policy";
    }
}

static ReadinessProblem *AddProblem(Readiness *readiness, int code, int view)
{
    if (readiness->count >= kMaxProblems)
        return NULL;
    ReadinessProblem *problem = &readiness->problems[readiness->count++];
    problem->code = code;
    problem->view = view;
    problem->text[0] = 0;
    return problem;
}

static void Say(Readiness *readiness, int code, int view,
                std::initializer_list<const wchar_t *> parts)
{
    ReadinessProblem *problem = AddProblem(readiness, code, view);
    if (problem && !ComposeText(problem->text, kProblemChars, parts))
        CopyText(problem->text, kProblemChars, L"请重新注册这个控件");
}

// The server of one view: there, of the view's machine, its DLLs found.
static void CheckServer(const ViewServer *server, Readiness *readiness)
{
    static wchar_t reason[kReasonChars];
    if (!server->file[0]) {
        Say(readiness, kProblemServerMissing, server->view,
            {L"注册的服务器路径不是完整路径，浏览器找不到文件，请重新注册这个控件"});
        return;
    }
    if (!server->exists) {
        Say(readiness, kProblemServerMissing, server->view,
            {L"服务器文件不存在，请重新注册这个控件"});
        return;
    }
    int verdict = DiagnoseInstalledServer(server->file, server->view, reason, kReasonChars);
    if (verdict == kServerUnloadable)
        Say(readiness, kProblemServerMissing, server->view,
            {L"服务器文件无法加载（", (const wchar_t *)reason, L"），请重新注册这个控件"});
    else if (verdict == kServerWrongMachine)
        Say(readiness, kProblemWrongMachine, server->view,
            {L"服务器文件是", (const wchar_t *)reason,
             server->view == kView64
                 ? L"的，注册在64位的注册表视图中，64位的浏览器不能加载它，请注册这个控件的x64（64位）版本"
                 : L"的，注册在32位的注册表视图中，32位的浏览器不能加载它，请注册这个控件的x86（32位）版本"});
    else if (verdict == kServerNeedsDll)
        Say(readiness, kProblemDependencyMissing, server->view, {(const wchar_t *)reason});
}

// The kill bit of the class in view, below the machine's settings or its
// policy; the key that sets it, as regedit names it, in where.
static int FindKillBit(const wchar_t *clsid, int view, wchar_t *where, size_t cap)
{
    const wchar_t *const bases[] = {kCompatibilityPolicy, kCompatibility};
    for (const wchar_t *base : bases) {
        wchar_t path[kKeyPathChars] = {};
        DWORD flags = 0;
        if (!ComposeText<wchar_t>(path, kKeyPathChars, {base, clsid}) ||
            !ReadDwordValue(HKEY_LOCAL_MACHINE, path, L"Compatibility Flags", ViewAccess(view),
                            &flags) ||
            !(flags & kKillBit))
            continue;
        // The 32-bit view's settings lie below Wow6432Node on 64-bit Windows.
        int wow = view == kView32 && OtherView(view) && base == kCompatibility;
        return ComposeText<wchar_t>(where, cap,
                                    {L"HKEY_LOCAL_MACHINE\\",
                                     wow ? L"SOFTWARE\\Wow6432Node\\" : L"SOFTWARE\\",
                                     path + TextLength(L"SOFTWARE\\")});
    }
    return 0;
}

static void CheckKillBit(const ControlServers *servers, Readiness *readiness)
{
    wchar_t where[kKeyPathChars + 40] = {};
    for (int i = 0; i < servers->count; i++) {
        if (!FindKillBit(servers->info.clsid, servers->views[i].view, where, kKeyPathChars + 40))
            continue;
        Say(readiness, kProblemKillBit, servers->views[i].view,
            {L"系统为这个控件设置了终止位（kill bit），浏览器不会加载它；终止位在 ", where,
             L" 的 Compatibility Flags 中，请IT管理员确认这个控件可以使用后再处理"});
        return;
    }
}

// The add-on list policy's word on clsid from root: "0" denies; 1 when it
// lists the control at all.
static int ReadListedAddOn(HKEY root, const wchar_t *clsid, int *denied)
{
    HKEY key;
    wchar_t value[kValueChars] = {};
    *denied = 0;
    if (RegOpenKeyExW(root, kAddOnList, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    int listed = ReadValueText(key, clsid, value, kValueChars);
    RegCloseKey(key);
    *denied = listed && SameName(value, L"0");
    return listed;
}

static void CheckAddOn(const wchar_t *clsid, Readiness *readiness)
{
    wchar_t path[kKeyPathChars] = {};
    DWORD flags = 0;
    if (ComposeText<wchar_t>(path, kKeyPathChars, {kAddOnSettings, clsid}) &&
        ReadDwordValue(HKEY_CURRENT_USER, path, L"Flags", 0, &flags) && (flags & 1))
        Say(readiness, kProblemAddOnDisabled, 0,
            {L"这个控件已在浏览器的“管理加载项”中被禁用，请在 Internet 选项 → 程序 → 管理加载项 中启用它"});
    // The machine's list decides where it names the control, else the user's.
    int denied = 0;
    int listed = ReadListedAddOn(HKEY_LOCAL_MACHINE, clsid, &denied) ||
                 ReadListedAddOn(HKEY_CURRENT_USER, clsid, &denied);
    DWORD machineOnly = 0, userOnly = 0;
    ReadDwordValue(HKEY_LOCAL_MACHINE, kAddOnPolicy, L"RestrictToList", 0, &machineOnly);
    ReadDwordValue(HKEY_CURRENT_USER, kAddOnPolicy, L"RestrictToList", 0, &userOnly);
    if (denied)
        Say(readiness, kProblemAddOnDenied, 0,
            {L"组策略的加载项列表禁止了这个控件，请IT管理员在加载项列表策略中允许它"});
    else if (!listed && (machineOnly == 1 || userOnly == 1))
        Say(readiness, kProblemAddOnDenied, 0,
            {L"组策略只允许加载项列表中的加载项，这个控件不在列表中，请IT管理员把它加入列表"});
}

void CheckReadiness(const ControlServers *servers, Readiness *readiness)
{
    readiness->count = 0;
    if (!servers->count) {
        Say(readiness, kProblemServerMissing, 0,
            {L"没有注册服务器文件，浏览器无法创建这个控件，请重新注册它"});
        return;
    }
    for (int i = 0; i < servers->count; i++)
        CheckServer(&servers->views[i], readiness);
    CheckKillBit(servers, readiness);
    CheckAddOn(servers->info.clsid, readiness);
}

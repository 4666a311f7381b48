// The commands of orvictl over the tool's engine: the same registrar runner,
// cabinet registration, query, information reader and removal as the window.
#include "cli/cli.h"

#include "base/cabinet_report.h"
#include "base/file_kind.h"
#include "base/text.h"
#include "controls/controls.h"
#include "records/records.h"
#include "register/register.h"

static const wchar_t kPathTooLongLine[] = L"注册失败：路径过长：";
static const wchar_t kNotInstalledLine[] = L"没有安装这个控件：";

// 1 when the process may change machine-wide registrations: its token is
// elevated (or, where there is no elevation, it is an administrator's).
int IsElevated()
{
    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        TOKEN_ELEVATION elevation = {};
        DWORD size = 0;
        BOOL asked =
            GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size);
        CloseHandle(token);
        if (asked)
            return elevation.TokenIsElevated != 0;
    }
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = NULL;
    BOOL member = FALSE;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &admins))
        return 0;
    if (!CheckTokenMembership(NULL, admins, &member))
        member = FALSE;
    FreeSid(admins);
    return member != 0;
}

int RefuseNotElevated()
{
    WriteErrLine({L"需要管理员权限：请在以管理员身份运行的命令提示符中执行。"});
    return kExitNotElevated;
}

// ---- register ------------------------------------------------------------------

// Prints why registering path failed.
static void WriteRegistrationFailure(const wchar_t *path, DWORD exitCode)
{
    wchar_t reason[kReasonChars] = {};
    DiagnoseRegistration(path, exitCode, reason, kReasonChars);
    WriteOutLine({L"注册失败：", path, L"：", (const wchar_t *)reason});
}

// What one cabinet's work has shown so far.
struct CliCabinet {
    const wchar_t *path;
    int registered;
    int failures;
    int refused;
    int misnamed;
};

static void CliUnpacked(void *, const wchar_t *path)
{
    WriteOutLine({L"解压：", path});
}

static void CliRefused(void *context, const wchar_t *path)
{
    WriteOutLine({L"拒绝解压（文件名不合法）：", path});
    ((CliCabinet *)context)->refused++;
}

static void CliStopped(void *context)
{
    WriteOutLine({L"解压中断：cab文件包已损坏或不完整：", ((CliCabinet *)context)->path});
}

static void CliRegistered(void *context, const wchar_t *path, int ok, DWORD exitCode)
{
    CliCabinet *cabinet = (CliCabinet *)context;
    if (ok) {
        WriteOutLine({L"注册成功：", path});
        cabinet->registered++;
        return;
    }
    WriteRegistrationFailure(path, exitCode);
    cabinet->failures++;
}

static void CliMisnamed(void *context, const wchar_t *path, const wchar_t *ending)
{
    wchar_t reason[kReasonChars] = {};
    ComposeMisnamedReason(reason, kReasonChars, ending);
    WriteOutLine({L"注册失败：", path, L"：", (const wchar_t *)reason});
    ((CliCabinet *)context)->misnamed++;
}

static int RegisterCabinetAndSay(const wchar_t *path)
{
    CliCabinet cabinet = {path, 0, 0, 0, 0};
    CabinetReport report = {&cabinet,   NULL,          CliUnpacked, CliRefused,
                            CliStopped, CliRegistered, CliMisnamed};
    int outcome = UnpackAndRegisterCabinet(path, &report);
    if (outcome == kCabinetPathTooLong) {
        WriteOutLine({kPathTooLongLine, path});
        return kExitFailed;
    }
    if (outcome == kCabinetPathUnconvertible) {
        WriteOutLine({L"注册失败：路径含有无法转换的字符：", path});
        return kExitFailed;
    }
    if (outcome == kCabinetUnsafeBaseFolder) {
        WriteOutLine(
            {L"注册失败：系统盘根目录的OrviActiveX文件夹不安全（不是管理员建立的、是连接点或"
             L"不是文件夹），请管理员把它改名后再试：",
             path});
        return kExitFailed;
    }
    if (outcome == kCabinetNotUnpacked || outcome == kCabinetNoDecompressor ||
        outcome == kCabinetUnreadable) {
        WriteOutLine({L"注册失败：无法解压：", path});
        return kExitFailed;
    }
    if (outcome == kCabinetNotRegistered && cabinet.registered == 0 && cabinet.failures == 0 &&
        cabinet.refused == 0 && cabinet.misnamed == 0) {
        WriteOutLine({L"注册失败：包中没有.ocx或.dll文件：", path});
        return kExitFailed;
    }
    // A cabinet counts as installed only when every file came out whole and
    // every control in it registered.
    if (outcome == kCabinetRegistered) {
        WriteOutLine({kCabinetRegisteredLine});
        return kExitDone;
    }
    WriteOutLine({kCabinetNotRegisteredLine});
    return kExitFailed;
}

static int RegisterFileAndSay(const wchar_t *path)
{
    if (TextLength(path) > kMaxControlPath) {
        WriteOutLine({kPathTooLongLine, path});
        return kExitFailed;
    }
    DWORD exitCode;
    if (RegisterControlFileForExit(path, &exitCode)) {
        WriteOutLine({L"注册成功：", path});
        return kExitDone;
    }
    WriteRegistrationFailure(path, exitCode);
    return kExitFailed;
}

int RunRegister(const wchar_t *argument)
{
    // The endings are those a drop accepts, compared the same way.
    int cabinet = IsCabinetFileName(argument);
    if (!cabinet && !IsControlFileName(argument)) {
        WriteErrLine({L"ERROR:不是.cab、.ocx、.dll文件！"});
        return kExitUsage;
    }
    if (!IsElevated())
        return RefuseNotElevated();
    // The registrar and the decompressor get the full path, as from a drop.
    wchar_t path[kCommandPathChars] = {};
    DWORD length = GetFullPathNameW(argument, kCommandPathChars, path, NULL);
    if (length == 0 || length >= (DWORD)kCommandPathChars) {
        WriteOutLine({kPathTooLongLine, argument});
        return kExitFailed;
    }
    return cabinet ? RegisterCabinetAndSay(path) : RegisterFileAndSay(path);
}

// ---- list and info ---------------------------------------------------------------

// The view of a control's server as the lines and JSON name it: the own
// view's name follows the column's answer, as it always did.
static int IsOwnServer(const ControlServers *servers, int index)
{
    return index == 0 && servers->views[0].view == ColumnView();
}

const wchar_t *ViewName(const ControlServers *servers, int index)
{
    if (IsOwnServer(servers, index))
        return servers->info.wow64 ? L"32-bit" : L"native";
    return servers->views[index].view == kView32 ? L"32-bit" : L"native";
}

const wchar_t *ViewText(const ControlServers *servers, int index)
{
    if (IsOwnServer(servers, index))
        return servers->info.wow64 ? L"32位（Wow6432Node）" : L"本机";
    return servers->views[index].view == kView32 ? L"32位（Wow6432Node）" : L"本机（64位）";
}

// The fields list and info share: what the registry records of the control,
// the first view that holds its class standing for it.
static void WriteControlFieldsJson(const ControlServers *servers)
{
    const ViewServer *first = servers->count ? &servers->views[0] : NULL;
    WriteJsonField(L"clsid", servers->info.clsid[0] ? servers->info.clsid : NULL, 0);
    WriteJsonField(L"serverPath", first ? first->path : NULL, 0);
    WriteJsonBool(L"serverExists", first && first->exists, 0);
    WriteJsonField(L"version", servers->info.hasVersion ? servers->info.version : NULL, 0);
}

static const wchar_t *MissingMark(const ViewServer *server)
{
    return server->exists ? L"" : L"  （服务器文件不存在）";
}

struct ListState {
    int json;
    int count;
};

// A file that is there but that the browser will not load is marked as a
// missing one is: the reasons are check's.
static const wchar_t *ListMark(const ControlServers *servers, const Readiness *readiness)
{
    if (!servers->views[0].exists)
        return MissingMark(&servers->views[0]);
    return readiness->count ? L"  （浏览器无法加载，原因见 orvictl check）" : L"";
}

static void ListOne(const wchar_t *progId, void *context)
{
    static ControlServers servers;
    static Readiness readiness;
    ListState *state = (ListState *)context;
    ReadControlServers(progId, &servers);
    CheckReadiness(&servers, &readiness);
    if (state->json) {
        WriteOut(state->count ? L",{" : L"{");
        WriteJsonField(L"progId", progId, 1);
        WriteControlFieldsJson(&servers);
        WriteJsonBool(L"ready", readiness.count == 0, 0);
        WriteOut(L"}");
    } else if (!servers.count) {
        WriteOutLine({progId, L"  （没有注册的服务器文件）"});
    } else {
        WriteOutLine({progId, L"  ", servers.views[0].path, ListMark(&servers, &readiness)});
    }
    state->count++;
}

int RunList(int json)
{
    ListState state = {json, 0};
    if (json)
        WriteOut(L"{\"controls\":[");
    EnumerateInstalledControls(ListOne, &state);
    if (json) {
        wchar_t digits[kDecimalSize] = {};
        FormatDecimal(digits, kDecimalSize, state.count);
        WriteOutLine({L"],\"count\":", (const wchar_t *)digits, L"}"});
    } else if (state.count == 0) {
        WriteOutLine({kNothingInstalled});
    }
    return kExitDone;
}

struct FindState {
    const wchar_t *wanted;
    wchar_t *name; // kKeyNameSize
    int found;
};

static void MatchOne(const wchar_t *progId, void *context)
{
    FindState *state = (FindState *)context;
    if (state->found || !SameName(progId, state->wanted))
        return;
    state->found = CopyText(state->name, kKeyNameSize, progId);
}

// The installed control of the family named progId (the registry's letter
// case is ignored, as the registry ignores it), in name as the registry spells it.
int FindInstalledControl(const wchar_t *progId, wchar_t *name)
{
    FindState state = {progId, name, 0};
    EnumerateInstalledControls(MatchOne, &state);
    return state.found;
}

// ,"views":[...]: each view that holds the class, own first.
void WriteViewsJson(const ControlServers *servers)
{
    WriteOut(L",\"views\":[");
    for (int i = 0; i < servers->count; i++) {
        const ViewServer *server = &servers->views[i];
        WriteOut(i ? L",{" : L"{");
        WriteJsonField(L"registryView", ViewName(servers, i), 1);
        WriteJsonField(L"serverPath", server->path, 0);
        WriteJsonBool(L"serverExists", server->exists, 0);
        WriteOut(L"}");
    }
    WriteOut(L"]");
}

// Today's fields stand for the own view (null where it has no server);
// "views" gives each view that holds the class, own first.
static void WriteInfoJson(const wchar_t *progId, int found, const ControlServers *servers,
                          const wchar_t *address)
{
    WriteOut(L"{");
    WriteJsonField(L"progId", progId, 1);
    WriteJsonBool(L"found", found, 0);
    if (found) {
        const ControlInfo *info = &servers->info;
        const ViewServer *own = servers->views[0].type && servers->views[0].view == ColumnView()
                                    ? &servers->views[0]
                                    : NULL;
        WriteJsonField(L"clsid", info->clsid[0] ? info->clsid : NULL, 0);
        WriteJsonField(L"serverPath", own ? own->path : NULL, 0);
        WriteJsonBool(L"serverExists", own && own->exists, 0);
        WriteJsonField(L"version", info->hasVersion ? info->version : NULL, 0);
        WriteViewsJson(servers);
        WriteJsonField(L"codebase", address[0] ? address : NULL, 0);
        WriteJsonField(L"registryView", info->wow64 ? L"32-bit" : L"native", 0);
    }
    WriteOutLine({L"}"});
}

// Exit 0 only for a control whose server file is in place in every view
// that holds its class, so a script can take the answer as "installed and
// loadable".
int RunInfo(const wchar_t *progId, int json)
{
    static ControlServers servers;
    wchar_t name[kKeyNameSize] = {};
    wchar_t address[kValueChars] = {};
    ZeroMemory(&servers, sizeof(servers));
    int found = FindInstalledControl(progId, name);
    if (found)
        ReadControlServers(name, &servers);
    int exists = ServersExist(&servers);
    if (servers.count)
        ReadDownloadAddress(servers.info.wow64, servers.info.clsid, address, kValueChars);
    if (json) {
        WriteInfoJson(found ? name : progId, found, &servers, address);
        return exists ? kExitDone : kExitFailed;
    }
    if (!found) {
        WriteOutLine({kNotInstalledLine, progId});
        return kExitFailed;
    }
    WriteOutLine({L"ProgID：", name});
    if (!servers.count) {
        WriteOutLine({L"CLSID：", servers.info.clsid[0] ? servers.info.clsid : L"（无）"});
        WriteOutLine({L"PATH：（没有注册的服务器文件）"});
        return kExitFailed;
    }
    WriteOutLine({L"CLSID：", servers.info.clsid});
    for (int i = 0; i < servers.count; i++) {
        const ViewServer *server = &servers.views[i];
        WriteOutLine({L"PATH：", server->path, MissingMark(server)});
        if (i == 0 && servers.info.hasVersion)
            WriteOutLine({L"VERSION：", servers.info.version});
        if (i == 0 && address[0])
            WriteOutLine({L"下载地址：", address});
        WriteOutLine({L"注册表视图：", ViewText(&servers, i)});
    }
    return exists ? kExitDone : kExitFailed;
}

// ---- uninstall ---------------------------------------------------------------------

// Removes one listed control as a double click does; 1 when its ProgID and
// its class in every view are gone. A removal that could not write its
// record, or copy a server file it deleted into it, says so: it cannot be
// turned back.
static int UninstallListed(const wchar_t *name)
{
    RemovalOutcome outcome;
    RemoveControl(name, &outcome);
    if (!outcome.complete) {
        WriteOutLine({L"卸载失败：", name});
        return 0;
    }
    const wchar_t *line = L"已卸载：";
    if (!outcome.recorded)
        line = L"已卸载（未能保存卸载记录，无法恢复）：";
    else if (!outcome.copied)
        line = L"已卸载（未能保存服务器文件的副本，无法恢复）：";
    WriteOutLine({line, name});
    return 1;
}

int RunUninstall(const wchar_t *progId)
{
    if (!IsElevated())
        return RefuseNotElevated();
    FinishInterruptedRemovalsAndSay();
    wchar_t name[kKeyNameSize] = {};
    if (!FindInstalledControl(progId, name)) {
        WriteOutLine({kNotInstalledLine, progId});
        return kExitFailed;
    }
    int removed = UninstallListed(name);
    PruneRecords();
    return removed ? kExitDone : kExitFailed;
}

static wchar_t g_listed[kMaxControls][kKeyNameSize];
static int g_listedCount;

static void CollectOne(const wchar_t *progId, void *)
{
    if (g_listedCount < kMaxControls && CopyText(g_listed[g_listedCount], kKeyNameSize, progId))
        g_listedCount++;
}

// The list is taken once, as the window's list is, then removed in its order.
int RunUninstallAll()
{
    if (!IsElevated())
        return RefuseNotElevated();
    FinishInterruptedRemovalsAndSay();
    g_listedCount = 0;
    int total = EnumerateInstalledControls(CollectOne, NULL);
    if (total == 0) {
        WriteOutLine({kNothingInstalled});
        return kExitDone;
    }
    int failed = 0;
    for (int i = 0; i < g_listedCount; i++) {
        if (!UninstallListed(g_listed[i]))
            failed++;
    }
    PruneRecords();
    if (total > g_listedCount) {
        WriteOutLine({L"还有控件未卸载，请再运行一次。"});
        failed++;
    }
    return failed ? kExitFailed : kExitDone;
}

void WriteUsage()
{
    WriteOut(
        L"orvictl - ORVI 控件的命令行安装和卸载\r\n"
        L"\r\n"
        L"用法：\r\n"
        L"  orvictl register 路径         注册 .ocx/.dll（先反注册再注册），或解压 .cab 并注册其中的控件\r\n"
        L"  orvictl list [--json]         列出已安装的控件\r\n"
        L"  orvictl info PROGID [--json]  显示控件的 CLSID、服务器路径、版本和下载地址\r\n"
        L"  orvictl check [PROGID] [--json]  检查浏览器能否加载控件，不能时说明原因和办法\r\n"
        L"  orvictl uninstall PROGID      卸载一个控件\r\n"
        L"  orvictl uninstall --all       卸载全部控件\r\n"
        L"  orvictl history [--json]      列出卸载记录（最新的在前）\r\n"
        L"  orvictl restore PROGID [编号]  按卸载记录恢复控件的服务器文件和注册表项（不写编号：\r\n"
        L"                                用最新的能恢复的记录；编号见 history）\r\n"
        L"  orvictl help                  显示本说明（也可用 --help、/?）\r\n"
        L"\r\n"
        L"退出码：0 完成；1 操作失败（info：没有这个控件或服务器文件不存在；\r\n"
        L"        check：有控件不能使用）；\r\n"
        L"        2 用法错误；3 需要管理员权限（register、uninstall、restore）。\r\n");
}

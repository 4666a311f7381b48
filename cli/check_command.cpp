// orvictl check: whether the browser will load each installed control, and
// why not, from facts on the PC; and once what the browser's zones and Edge's
// IE mode say for all of them. Reads only, and needs no elevation.
#include "cli/cli.h"

#include "base/text.h"
#include "controls/controls.h"

static const wchar_t *const kZoneNames[kCheckedZones] = {L"intranet", L"trusted", L"internet"};
static const wchar_t *const kZoneTexts[kCheckedZones] = {L"本地 Intranet", L"可信站点",
                                                         L"Internet"};

static const wchar_t *SourceName(int source)
{
    switch (source) {
    case kSourceMachinePolicy:
        return L"machine-policy";
    case kSourceUserPolicy:
        return L"user-policy";
    case kSourceUser:
        return L"user";
    case kSourceMachine:
        return L"machine";
    default:
        return L"default";
    }
}

static const wchar_t *SourceText(int source)
{
    switch (source) {
    case kSourceMachinePolicy:
        return L"（计算机策略）";
    case kSourceUserPolicy:
        return L"（用户策略）";
    case kSourceUser:
        return L"（用户的设置）";
    case kSourceMachine:
        return L"（计算机的设置）";
    default:
        return L"（没有设置，按默认）";
    }
}

static const wchar_t *ActionName(DWORD action)
{
    if (action == kActionAllow)
        return L"allow";
    if (action == kActionPrompt)
        return L"prompt";
    return action == kActionDeny ? L"deny" : L"other";
}

static const wchar_t *ActionText(DWORD action)
{
    if (action == kActionAllow)
        return L"允许运行ActiveX控件";
    if (action == kActionPrompt)
        return L"运行ActiveX控件前询问";
    return action == kActionDeny ? L"禁止运行ActiveX控件，这个区域的网页不能加载任何控件"
                                 : L"其他设置（值见 --json）";
}

static void WriteNumber(const wchar_t *name, long long value)
{
    wchar_t digits[kDecimalSize] = {};
    FormatDecimal(digits, kDecimalSize, value);
    WriteOut(L",\"");
    WriteOut(name);
    WriteOut(L"\":");
    WriteOut(digits);
}

// The index of the server a problem is about; -1 for the control as a whole.
static int ServerIndex(const ControlServers *servers, const ReadinessProblem *problem)
{
    for (int i = 0; problem->view && i < servers->count; i++) {
        if (servers->views[i].view == problem->view)
            return i;
    }
    return -1;
}

struct CheckState {
    const wchar_t *wanted; // NULL: every control
    int json;
    int count;
    int notReady;
};

static void WriteControlJson(const wchar_t *progId, const ControlServers *servers,
                             const Readiness *readiness, int first)
{
    WriteOut(first ? L"{" : L",{");
    WriteJsonField(L"progId", progId, 1);
    WriteJsonField(L"clsid", servers->info.clsid[0] ? servers->info.clsid : NULL, 0);
    WriteViewsJson(servers);
    WriteJsonBool(L"ready", readiness->count == 0, 0);
    WriteOut(L",\"problems\":[");
    for (int i = 0; i < readiness->count; i++) {
        const ReadinessProblem *problem = &readiness->problems[i];
        int index = ServerIndex(servers, problem);
        WriteOut(i ? L",{" : L"{");
        WriteJsonField(L"code", ProblemCodeName(problem->code), 1);
        WriteJsonField(L"text", problem->text, 0);
        WriteJsonField(L"registryView", index >= 0 ? ViewName(servers, index) : NULL, 0);
        WriteOut(L"}");
    }
    WriteOut(L"]}");
}

static void WriteControlLines(const wchar_t *progId, const ControlServers *servers,
                              const Readiness *readiness)
{
    WriteOutLine({progId, readiness->count ? L"  不能使用" : L"  可以使用"});
    for (int i = 0; i < readiness->count; i++) {
        const ReadinessProblem *problem = &readiness->problems[i];
        // Which view, where the class is in two.
        int index = servers->count > 1 ? ServerIndex(servers, problem) : -1;
        if (index >= 0)
            WriteOutLine(
                {L"  ", problem->text, L"（注册表视图：", ViewText(servers, index), L"）"});
        else
            WriteOutLine({L"  ", problem->text});
    }
}

static void CheckOne(const wchar_t *progId, void *context)
{
    static ControlServers servers;
    static Readiness readiness;
    CheckState *state = (CheckState *)context;
    if (state->wanted && !SameName(progId, state->wanted))
        return;
    ReadControlServers(progId, &servers);
    CheckReadiness(&servers, &readiness);
    if (state->json)
        WriteControlJson(progId, &servers, &readiness, state->count == 0);
    else
        WriteControlLines(progId, &servers, &readiness);
    state->count++;
    if (readiness.count)
        state->notReady++;
}

static void WriteBrowserJson(const BrowserSettings *browser)
{
    WriteOut(L"\"browser\":{\"zones\":[");
    for (int i = 0; i < kCheckedZones; i++) {
        const ZoneSetting *zone = &browser->zones[i];
        WriteOut(i ? L",{" : L"{");
        WriteJsonField(L"name", kZoneNames[i], 1);
        WriteNumber(L"zone", zone->zone);
        WriteJsonField(L"activeX", ActionName(zone->action), 0);
        WriteNumber(L"value", zone->action);
        WriteJsonField(L"source", SourceName(zone->source), 0);
        WriteOut(L"}");
    }
    WriteOut(L"]");
    WriteJsonBool(L"edgeIeMode", browser->ieModeLevel == 1, 0);
    if (browser->ieModeLevel >= 0)
        WriteNumber(L"ieIntegrationLevel", browser->ieModeLevel);
    else
        WriteOut(L",\"ieIntegrationLevel\":null");
    WriteOut(L"}");
}

static void WriteBrowserLines(const BrowserSettings *browser)
{
    WriteOutLine({L"浏览器的区域设置（对所有控件）："});
    for (int i = 0; i < kCheckedZones; i++) {
        const ZoneSetting *zone = &browser->zones[i];
        WriteOutLine(
            {L"  ", kZoneTexts[i], L"：", ActionText(zone->action), SourceText(zone->source)});
    }
    if (browser->ieModeLevel == 1) {
        WriteOutLine({L"Edge 的 IE 模式：已由策略开启"});
        return;
    }
    WriteOutLine({L"Edge 的 IE 模式：没有由策略开启（只在 Edge 中打开的网页不能加载控件）"});
}

int RunCheck(const wchar_t *progId, int json)
{
    static BrowserSettings browser;
    wchar_t name[kKeyNameSize] = {};
    CheckState state = {NULL, json, 0, 0};
    int found = !progId || FindInstalledControl(progId, name);
    if (progId && found)
        state.wanted = name;
    ReadBrowserSettings(&browser);
    if (json)
        WriteOut(L"{\"controls\":[");
    if (found)
        EnumerateInstalledControls(CheckOne, &state);
    wchar_t checked[kDecimalSize] = {};
    wchar_t notReady[kDecimalSize] = {};
    FormatDecimal(checked, kDecimalSize, state.count);
    FormatDecimal(notReady, kDecimalSize, state.notReady);
    if (json) {
        WriteOut(L"],");
        WriteBrowserJson(&browser);
        WriteOutLine({L",\"count\":", (const wchar_t *)checked, L"}"});
    } else if (!found) {
        WriteOutLine({L"没有安装这个控件：", progId});
    } else if (state.count == 0) {
        WriteOutLine({kNothingInstalled});
    }
    if (!json && found) {
        WriteBrowserLines(&browser);
        WriteOutLine({L"检查了", (const wchar_t *)checked, L"个控件，", (const wchar_t *)notReady,
                      L"个不能使用。"});
    }
    return found && state.notReady == 0 ? kExitDone : kExitFailed;
}

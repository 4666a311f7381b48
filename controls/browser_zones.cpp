// What the browser's settings say for every control at once: whether the
// zones of the intranet, the trusted sites and the Internet let pages run
// ActiveX controls (URL action 1200), and whether Edge's IE mode is on by
// policy. Read only, as the browser reads them: the machine's policy, then
// the user's policy, then the user's own settings, then the machine's.
#include "controls/controls.h"

#include "base/text.h"

static const wchar_t kZonePolicies[] =
    L"Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
static const wchar_t kZoneSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
                                       L"Settings";
static const wchar_t kEdgePolicies[] = L"Software\\Policies\\Microsoft\\Edge";

int ReadDwordValue(HKEY root, const wchar_t *path, const wchar_t *name, REGSAM view, DWORD *value)
{
    HKEY key;
    *value = 0;
    if (RegOpenKeyExW(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof(*value);
    LSTATUS result = RegQueryValueExW(key, name, NULL, &type, (BYTE *)value, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(*value)) {
        *value = 0;
        return 0;
    }
    return 1;
}

// The zone's value of URL action 1200 below base\Zones\N of root.
static int ReadZoneAction(HKEY root, const wchar_t *base, int zone, DWORD *action)
{
    wchar_t path[kKeyPathChars] = {};
    wchar_t digit[2] = {(wchar_t)(L'0' + zone), 0};
    return ComposeText<wchar_t>(path, kKeyPathChars, {base, L"\\Zones\\", digit}) &&
           ReadDwordValue(root, path, L"1200", 0, action);
}

static void ReadZone(int zone, int machineOnly, ZoneSetting *setting)
{
    setting->zone = zone;
    setting->action = kActionAllow;
    setting->source = kSourceDefault;
    // "Security zones: use only machine settings" leaves the user's out.
    struct Place {
        HKEY root;
        const wchar_t *base;
        int source;
        int user;
    };
    const Place places[] = {{HKEY_LOCAL_MACHINE, kZonePolicies, kSourceMachinePolicy, 0},
                            {HKEY_CURRENT_USER, kZonePolicies, kSourceUserPolicy, 1},
                            {HKEY_CURRENT_USER, kZoneSettings, kSourceUser, 1},
                            {HKEY_LOCAL_MACHINE, kZoneSettings, kSourceMachine, 0}};
    for (const Place &place : places) {
        DWORD action;
        if ((place.user && machineOnly) || !ReadZoneAction(place.root, place.base, zone, &action))
            continue;
        setting->action = action;
        setting->source = place.source;
        return;
    }
}

void ReadBrowserSettings(BrowserSettings *settings)
{
    DWORD machineOnly = 0;
    ReadDwordValue(HKEY_LOCAL_MACHINE, kZonePolicies, L"Security_HKLM_only", 0, &machineOnly);
    for (int i = 0; i < kCheckedZones; i++)
        ReadZone(i + 1, machineOnly == 1, &settings->zones[i]);
    // The machine's policy before the user's, as for every Edge policy.
    DWORD level = 0;
    settings->ieModeLevel = -1;
    if (ReadDwordValue(HKEY_LOCAL_MACHINE, kEdgePolicies, L"InternetExplorerIntegrationLevel", 0,
                       &level) ||
        ReadDwordValue(HKEY_CURRENT_USER, kEdgePolicies, L"InternetExplorerIntegrationLevel", 0,
                       &level))
        settings->ieModeLevel = (int)level;
}

int ZoneForbidsActiveX(const ZoneSetting *setting)
{
    return setting->action == kActionDeny;
}

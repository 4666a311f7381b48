// Registry helpers: the tests set up and remove their own keys.
#include "support/test_support.h"

#include <gtest/gtest.h>

bool KeyExists(HKEY root, const std::wstring &path, REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void SetStringValue(HKEY root, const std::wstring &path, const std::wstring &name,
                    const std::wstring &value, REGSAM view)
{
    HKEY key;
    if (RegCreateKeyExW(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | view, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name.empty() ? NULL : name.c_str(), 0, REG_SZ, (const BYTE *)value.c_str(),
                   (DWORD)((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void SetDefaultValue(HKEY root, const std::wstring &path, const std::wstring &value, REGSAM view)
{
    SetStringValue(root, path, L"", value, view);
}

std::wstring ReadStringValue(HKEY root, const std::wstring &path, const std::wstring &name)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"";
    DWORD size = 0;
    DWORD type = 0;
    std::wstring value;
    if (RegQueryValueExW(key, name.empty() ? NULL : name.c_str(), NULL, &type, NULL, &size) ==
            ERROR_SUCCESS &&
        size > 0) {
        value.assign(size / sizeof(wchar_t) + 1, L'\0');
        RegQueryValueExW(key, name.empty() ? NULL : name.c_str(), NULL, &type, (BYTE *)&value[0],
                         &size);
        value.resize(lstrlenW(value.c_str()));
    }
    RegCloseKey(key);
    return value;
}

DWORD SubkeyCount(HKEY root, const std::wstring &path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD count = 0;
    RegQueryInfoKeyW(key, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    return count;
}

void DeleteTree(HKEY root, const std::wstring &path, REGSAM view)
{
    if (!view) {
        RegDeleteTreeW(root, path.c_str());
        RegDeleteKeyW(root, path.c_str());
        return;
    }
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteTreeW(key, NULL);
        RegCloseKey(key);
    }
    RegDeleteKeyExW(root, path.c_str(), view, 0);
}

std::vector<std::wstring> FamilyKeys()
{
    static const wchar_t *prefixes[] = {L"ORVI.", L"PDF.O", L"Orvi.", L"VY.Of"};
    std::vector<std::wstring> keys;
    wchar_t name[256];
    for (DWORD i = 0;; i++) {
        DWORD size = 256;
        if (RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &size, NULL, NULL, NULL, NULL) !=
            ERROR_SUCCESS)
            break;
        for (const wchar_t *p : prefixes) {
            if (wcsncmp(name, p, 5) == 0) {
                keys.push_back(name);
                break;
            }
        }
    }
    return keys;
}

void RemoveFamilyKeys()
{
    for (const std::wstring &k : FamilyKeys())
        DeleteTree(HKEY_CLASSES_ROOT, k);
    DeleteTree(HKEY_CLASSES_ROOT, L"CLSID\\{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4D}");
    DeleteTree(HKEY_CLASSES_ROOT, L"TypeLib\\{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4E}");
    DeleteTree(HKEY_CLASSES_ROOT, L"Interface\\{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4F}");
}

void SetKeyDacl(HKEY root, const std::wstring &path, DWORD deny, Caller)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC, &key));
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    BYTE aclBuffer[256];
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = NULL;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    PACL acl = (PACL)aclBuffer;
    if (deny) {
        InitializeAcl(acl, sizeof(aclBuffer), ACL_REVISION);
        AddAccessDeniedAce(acl, ACL_REVISION, deny, everyone);
        AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone);
    }
    SetSecurityDescriptorDacl(&sd, TRUE, deny ? acl : NULL, FALSE);
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd));
    FreeSid(everyone);
    RegCloseKey(key);
}

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring &path)
{
    std::vector<std::wstring> names;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD i = 0;; i++) {
        DWORD size = 256;
        if (RegEnumKeyExW(key, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

// ---- the browser's code store ------------------------------------------------------

const wchar_t kCodeStore[] = L"SOFTWARE\\Microsoft\\Code Store DataBase";
const wchar_t kCodeStoreWow[] = L"SOFTWARE\\Wow6432Node\\Microsoft\\Code Store DataBase";

std::wstring UnitKey(bool wow, const std::wstring &clsid)
{
    return std::wstring(wow ? kCodeStoreWow : kCodeStore) + L"\\Distribution Units\\" + clsid;
}

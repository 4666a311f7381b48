// Removal of one installed control: its keys (a fixed list for three named
// controls, a generic rule for every other), then its server file is
// unregistered and deleted. Nothing is reported.
#include "controls/controls.h"

#include "base/text.h"
#include "base/guid_text.h"
#include "register/register.h"

#include <wchar.h>

// Which registry view a fixed key belongs to.
enum KeyView {
    kBothViews = 0,
    kWow64View = 1,  // only for a 32-bit process on 64-bit Windows
    kNativeView = 2, // only otherwise
};

struct FixedKey {
    HKEY root;
    const wchar_t *path;
    int view;
};

// Each list ends with a null path and is deleted in its order, the keys of
// the other view passed over. GUID texts are written as the controls
// register them, letter case included.
static const FixedKey kUploaderKeyList[] = {
    {HKEY_CLASSES_ROOT, L"Orvi.LargeFileUploader", kBothViews},
    {HKEY_CLASSES_ROOT, L"TypeLib\\{3B7D41E0-6A2C-4D81-9E35-C04F7A12B6D9}", kBothViews},
    {HKEY_CLASSES_ROOT, L"Wow6432Node\\CLSID\\{3B7D41E2-6A2C-4d81-9E35-C04F7A12B6D9}", kWow64View},
    {HKEY_CLASSES_ROOT, L"Wow6432Node\\TypeLib\\{3B7D41E0-6A2C-4D81-9E35-C04F7A12B6D9}",
     kWow64View},
    {HKEY_CLASSES_ROOT, L"CLSID\\{3B7D41E2-6A2C-4d81-9E35-C04F7A12B6D9}", kNativeView},
    {NULL, NULL, kBothViews},
};
static const FixedKey kSealServerKeyList[] = {
    {HKEY_CLASSES_ROOT, L"ORVI.SealServerCtrlMem", kBothViews},
    {HKEY_CLASSES_ROOT, L"TypeLib\\{C5A2E07B-19F4-4B3E-8D61-72E9D0A4F158}", kBothViews},
    {HKEY_CLASSES_ROOT, L"Wow6432Node\\CLSID\\{C5A2E07D-19F4-4b3e-8D61-72E9D0A4F158}", kWow64View},
    {HKEY_CLASSES_ROOT, L"Wow6432Node\\TypeLib\\{C5A2E07B-19F4-4B3E-8D61-72E9D0A4F158}",
     kWow64View},
    {HKEY_CLASSES_ROOT, L"CLSID\\{C5A2E07D-19F4-4b3e-8D61-72E9D0A4F158}", kNativeView},
    {NULL, NULL, kBothViews},
};
// The PDF and the TIF document controls go together. The machine-wide
// ProgID keys are named with a closing brace, as the controls' own
// installers wrote them.
static const FixedKey kDocumentKeyList[] = {
    {HKEY_CLASSES_ROOT, L"PDF.OrviDocument", kBothViews},
    {HKEY_CLASSES_ROOT, L"Wow6432Node\\CLSID\\{6F18D3A2-4E7B-4a9c-B250-8D3C61E7F0A4}", kWow64View},
    {HKEY_CLASSES_ROOT, L"CLSID\\{6F18D3A2-4E7B-4a9c-B250-8D3C61E7F0A4}", kNativeView},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\PDF.OrviDocument}", kBothViews},
    {HKEY_LOCAL_MACHINE,
     L"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{6F18D3A2-4E7B-4a9c-B250-8D3C61E7F0A4}", kWow64View},
    {HKEY_LOCAL_MACHINE, L"Wow6432Node\\Classes\\CLSID\\{6F18D3A2-4E7B-4a9c-B250-8D3C61E7F0A4}",
     kWow64View},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID\\{6F18D3A2-4E7B-4a9c-B250-8D3C61E7F0A4}",
     kNativeView},
    {HKEY_CLASSES_ROOT, L"TIF.OrviDocument", kBothViews},
    {HKEY_CLASSES_ROOT, L"Wow6432Node\\CLSID\\{6F18D3A0-4E7B-4a9c-B250-8D3C61E7F0A4}", kWow64View},
    {HKEY_CLASSES_ROOT, L"CLSID\\{6F18D3A0-4E7B-4a9c-B250-8D3C61E7F0A4}", kNativeView},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\TIF.OrviDocument}", kBothViews},
    {HKEY_LOCAL_MACHINE,
     L"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{6F18D3A0-4E7B-4a9c-B250-8D3C61E7F0A4}", kWow64View},
    {HKEY_LOCAL_MACHINE, L"Wow6432Node\\Classes\\CLSID\\{6F18D3A0-4E7B-4a9c-B250-8D3C61E7F0A4}",
     kWow64View},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID\\{6F18D3A0-4E7B-4a9c-B250-8D3C61E7F0A4}",
     kNativeView},
    {NULL, NULL, kBothViews},
};

struct NamedControl {
    const wchar_t *progId;
    int list;
};

static const NamedControl kNamedControls[] = {
    {L"Orvi.LargeFileUploader", kUploaderKeys},
    {L"ORVI.SealServerCtrlMem", kSealServerKeys},
    {L"PDF.OrviDocument", kDocumentKeys},
};

// Every deletion is tried, whether or not the one before it succeeded.
void RemoveFixedKeys(int list)
{
    int skipped = IsWow64() ? kNativeView : kWow64View;
    const FixedKey *keys = NULL;
    if (list == kUploaderKeys)
        keys = kUploaderKeyList;
    else if (list == kSealServerKeys)
        keys = kSealServerKeyList;
    else if (list == kDocumentKeys)
        keys = kDocumentKeyList;
    if (!keys)
        return;
    for (int i = 0; keys[i].path; i++) {
        if (keys[i].view != skipped)
            DeleteKeyTree(keys[i].root, keys[i].path);
    }
}

void DeleteMatchingSubkeys(const wchar_t *progId, const wchar_t *reference, const wchar_t *rootName)
{
    wchar_t adjusted[kRemovalKeyPathSize] = {};
    if (!CopyText(adjusted, kRemovalKeyPathSize, reference))
        return;
    AdjustReferenceCase(progId, adjusted);
    char ansiRoot[kRemovalKeyPathSize] = {};
    if (!WideCharToMultiByte(CP_ACP, 0, rootName, -1, ansiRoot, (int)kRemovalKeyPathSize, NULL,
                             NULL))
        return;
    HKEY root;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ansiRoot, 0, KEY_READ, &root) != ERROR_SUCCESS)
        return;
    DWORD index = 0;
    for (;;) {
        wchar_t name[kKeyNameSize] = {};
        DWORD size = kKeyNameSize;
        if (RegEnumKeyExW(root, index, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        wchar_t path[kRemovalKeyPathSize] = {};
        // A deleted subkey's follower moves down to its index: look at the
        // same index again. A path that does not fit is not acted on.
        if (GuidTailsMatch(name, adjusted) &&
            ComposeText(path, kRemovalKeyPathSize, {rootName, L"\\", (const wchar_t *)name}) &&
            DeleteKeyTree(HKEY_CLASSES_ROOT, path))
            continue;
        index++;
    }
    RegCloseKey(root);
}

// The ProgID, class, type-library and interface keys of any other control,
// with their Wow6432Node twins, and the family's two file-extension keys.
static void RemoveGenericKeys(const wchar_t *progId, const wchar_t *clsid)
{
    DeleteKeyTree(HKEY_CLASSES_ROOT, L".qvb");
    DeleteKeyTree(HKEY_CLASSES_ROOT, L".qvm");

    BOOL wow64 = IsWow64();
    const wchar_t *classBase = wow64 ? L"Wow6432Node\\CLSID\\" : L"CLSID\\";
    const wchar_t *passRoots[] = {L"Interface", wow64 ? L"Wow6432Node\\Interface" : L"Interface",
                                  L"TypeLib"};
    wchar_t referenceKey[kRemovalKeyPathSize] = {};
    // Without a CLSID there is no reference: the passes match nothing.
    if (clsid[0])
        ComposeText(referenceKey, kRemovalKeyPathSize, {classBase, clsid, L"\\TypeLib"});
    for (const wchar_t *passRoot : passRoots) {
        wchar_t reference[kDefaultValueSize] = {};
        if (referenceKey[0])
            ReadDefaultValue(referenceKey, reference);
        DeleteMatchingSubkeys(progId, reference, passRoot);
    }

    // Without a CLSID the class path would name the whole CLSID key.
    if (clsid[0]) {
        wchar_t classKey[kRemovalKeyPathSize] = {};
        if (wow64 && ComposeText(classKey, kRemovalKeyPathSize, {L"Wow6432Node\\CLSID\\", clsid}))
            DeleteKeyTree(HKEY_CLASSES_ROOT, classKey);
        if (ComposeText(classKey, kRemovalKeyPathSize, {L"CLSID\\", clsid}))
            DeleteKeyTree(HKEY_CLASSES_ROOT, classKey);
    }
    DeleteKeyTree(HKEY_CLASSES_ROOT, progId);
}

static int IsAsciiLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// A drive letter, a colon and a backslash, or \\server\share. Anything else
// would be resolved against the tool's working folder (or drive) and name a
// file that belongs to no control. The device forms \\.\ and \\?\ are no
// server's share either.
static int IsAbsoluteServerPath(const wchar_t *path)
{
    if (IsAsciiLetter(path[0]) && path[1] == L':' && path[2] == L'\\')
        return 1;
    if (path[0] != L'\\' || path[1] != L'\\')
        return 0;
    int i = 2;
    while (path[i] && path[i] != L'\\')
        i++;
    if (i == 2 || path[i] != L'\\' || !path[i + 1] || path[i + 1] == L'\\')
        return 0;
    return !(i == 3 && (path[2] == L'.' || path[2] == L'?'));
}

static int HoldsBackslash(const wchar_t *text)
{
    for (int i = 0; text[i]; i++) {
        if (text[i] == L'\\')
            return 1;
    }
    return 0;
}

// Code unit by code unit: a collating comparison would take a look-alike
// (a soft hyphen inside, say) for a named control and run its fixed list.
static int FindNamedControl(const wchar_t *progId)
{
    for (const NamedControl &control : kNamedControls) {
        if (wcscmp(progId, control.progId) == 0)
            return control.list;
    }
    return 0;
}

int UninstallControl(const wchar_t *progIdText)
{
    wchar_t progId[kRemovalKeyPathSize] = {};
    wchar_t clsidPath[kRemovalKeyPathSize] = {};
    // An empty ProgID would make every path name a key directly below the
    // root; a ProgID too long for its paths is refused as a whole.
    if (!progIdText[0] || !CopyText(progId, kRemovalKeyPathSize, progIdText))
        return 1;
    if (!ComposeText(clsidPath, kRemovalKeyPathSize, {(const wchar_t *)progId, L"\\CLSID"}))
        return 1;

    wchar_t clsid[kDefaultValueSize] = {};
    ReadDefaultValue(clsidPath, clsid);
    // A CLSID text with a backslash names no single class key (the registry
    // reads a doubled backslash as one, so a lone backslash would name the
    // whole CLSID key): it counts as no CLSID.
    if (HoldsBackslash(clsid))
        clsid[0] = 0;
    wchar_t serverPath[kServerPathSize] = {};
    ReadServerPath(clsid, serverPath);

    int list = FindNamedControl(progId);
    if (list)
        RemoveFixedKeys(list);
    else
        RemoveGenericKeys(progId, clsid);

    if (IsAbsoluteServerPath(serverPath)) {
        UnregisterControlFile(serverPath);
        DeleteFileW(serverPath);
    }
    return 1;
}

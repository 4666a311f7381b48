// Removal of one installed control: its keys (a fixed list for three named
// controls, a generic rule for every other), then its server file is
// unregistered and deleted. Nothing is reported.
#include "controls/controls.h"

#include "base/text.h"
#include "base/guid_text.h"
#include "register/register.h"

#include <wchar.h>

// The uploader and the seal server leave the same keys, each under GUIDs of
// its own, written as the controls register them, letter case included.
struct ClassControl {
    const wchar_t *progId;
    const wchar_t *typeLib;
    const wchar_t *clsid;
};
static const ClassControl kUploader = {L"Orvi.LargeFileUploader",
                                       L"{3B7D41E0-6A2C-4D81-9E35-C04F7A12B6D9}",
                                       L"{3B7D41E2-6A2C-4d81-9E35-C04F7A12B6D9}"};
static const ClassControl kSealServer = {L"ORVI.SealServerCtrlMem",
                                         L"{C5A2E07B-19F4-4B3E-8D61-72E9D0A4F158}",
                                         L"{C5A2E07D-19F4-4b3e-8D61-72E9D0A4F158}"};

// The PDF and the TIF document controls go together, each with its ProgID
// and class below HKEY_CLASSES_ROOT and again below the machine's classes.
struct DocumentControl {
    const wchar_t *progId;
    const wchar_t *clsid;
};
static const DocumentControl kDocuments[] = {
    {L"PDF.OrviDocument", L"{6F18D3A2-4E7B-4a9c-B250-8D3C61E7F0A4}"},
    {L"TIF.OrviDocument", L"{6F18D3A0-4E7B-4a9c-B250-8D3C61E7F0A4}"},
};

// The pass whose keys are type libraries; every other pass's are interfaces.
static const wchar_t kLibraryPassRoot[] = L"TypeLib";

struct NamedControl {
    const wchar_t *progId;
    int list;
};

static const NamedControl kNamedControls[] = {
    {L"Orvi.LargeFileUploader", kUploaderKeys},
    {L"ORVI.SealServerCtrlMem", kSealServerKeys},
    {L"PDF.OrviDocument", kDocumentKeys},
};

// Deletes the key named by joining the parts; a path that does not fit is
// not acted on.
static void DeleteJoinedKey(HKEY root, std::initializer_list<const wchar_t *> parts)
{
    wchar_t path[kRemovalKeyPathSize] = {};
    if (ComposeText(path, kRemovalKeyPathSize, parts))
        DeleteKeyTree(root, path);
}

// The ProgID and the type library, then the class (in the 32-bit view of
// 64-bit Windows the class and the type library twins there).
static void RemoveClassControlKeys(const ClassControl *control, BOOL wow64)
{
    DeleteKeyTree(HKEY_CLASSES_ROOT, control->progId);
    DeleteJoinedKey(HKEY_CLASSES_ROOT, {L"TypeLib\\", control->typeLib});
    if (wow64) {
        DeleteJoinedKey(HKEY_CLASSES_ROOT, {kClassKeysWow, control->clsid});
        DeleteJoinedKey(HKEY_CLASSES_ROOT, {L"Wow6432Node\\TypeLib\\", control->typeLib});
        return;
    }
    DeleteJoinedKey(HKEY_CLASSES_ROOT, {kClassKeys, control->clsid});
}

// The ProgID and its class, then the machine-wide ProgID key, named with a
// closing brace as the controls' own installers wrote it, and the
// machine-wide class (in the 32-bit view under both of its names).
static void RemoveDocumentKeys(const DocumentControl *control, BOOL wow64)
{
    DeleteKeyTree(HKEY_CLASSES_ROOT, control->progId);
    DeleteJoinedKey(HKEY_CLASSES_ROOT, {wow64 ? kClassKeysWow : kClassKeys, control->clsid});
    DeleteJoinedKey(HKEY_LOCAL_MACHINE, {L"SOFTWARE\\Classes\\", control->progId, L"}"});
    if (wow64) {
        DeleteJoinedKey(HKEY_LOCAL_MACHINE,
                        {L"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\", control->clsid});
        DeleteJoinedKey(HKEY_LOCAL_MACHINE, {L"Wow6432Node\\Classes\\CLSID\\", control->clsid});
        return;
    }
    DeleteJoinedKey(HKEY_LOCAL_MACHINE, {L"SOFTWARE\\Classes\\CLSID\\", control->clsid});
}

// Every deletion is tried, whether or not the one before it succeeded.
void RemoveFixedKeys(int list)
{
    BOOL wow64 = IsWow64();
    if (list == kUploaderKeys)
        RemoveClassControlKeys(&kUploader, wow64);
    else if (list == kSealServerKeys)
        RemoveClassControlKeys(&kSealServer, wow64);
    else if (list == kDocumentKeys) {
        for (const DocumentControl &document : kDocuments)
            RemoveDocumentKeys(&document, wow64);
    }
}

// Whether a matched subkey of rootName belongs to a type library of the
// control: a library key is its own library, an interface names its library
// in its TypeLib subkey (or, naming none, is taken for the reference's).
static int MatchIsTheControls(const wchar_t *rootName, const wchar_t *name,
                              const wchar_t *reference, const wchar_t *serverPath)
{
    if (GuidInOleRange(name))
        return 0;
    if (wcscmp(rootName, kLibraryPassRoot) == 0)
        return TypeLibraryIsTheControls(name, serverPath);
    wchar_t path[kRemovalKeyPathSize] = {};
    wchar_t library[kDefaultValueSize] = {};
    if (!ComposeText(path, kRemovalKeyPathSize, {rootName, L"\\", name, L"\\TypeLib"}))
        return 0;
    ReadDefaultValue(path, library);
    return TypeLibraryIsTheControls(library[0] ? library : reference, serverPath);
}

void DeleteMatchingSubkeys(const wchar_t *progId, const wchar_t *reference, const wchar_t *rootName,
                           const wchar_t *serverPath)
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
            MatchIsTheControls(rootName, name, adjusted, serverPath) &&
            ComposeText(path, kRemovalKeyPathSize, {rootName, L"\\", (const wchar_t *)name}) &&
            DeleteKeyTree(HKEY_CLASSES_ROOT, path))
            continue;
        index++;
    }
    RegCloseKey(root);
}

// The ProgID, class, type-library and interface keys of any other control,
// with their Wow6432Node twins, and the family's two file-extension keys.
// serverPath is the control's absolute server path, or empty.
static void RemoveGenericKeys(const wchar_t *progId, const wchar_t *clsid,
                              const wchar_t *serverPath)
{
    DeleteKeyTree(HKEY_CLASSES_ROOT, L".qvb");
    DeleteKeyTree(HKEY_CLASSES_ROOT, L".qvm");

    BOOL wow64 = IsWow64();
    const wchar_t *classBase = wow64 ? kClassKeysWow : kClassKeys;
    const wchar_t *passRoots[] = {L"Interface", wow64 ? L"Wow6432Node\\Interface" : L"Interface",
                                  kLibraryPassRoot};
    wchar_t referenceKey[kRemovalKeyPathSize] = {};
    // Without a CLSID there is no reference: the passes match nothing.
    if (clsid[0])
        ComposeText(referenceKey, kRemovalKeyPathSize, {classBase, clsid, L"\\TypeLib"});
    for (const wchar_t *passRoot : passRoots) {
        wchar_t reference[kDefaultValueSize] = {};
        if (referenceKey[0])
            ReadDefaultValue(referenceKey, reference);
        DeleteMatchingSubkeys(progId, reference, passRoot, serverPath);
    }

    // Without a CLSID the class path would name the whole CLSID key.
    if (clsid[0]) {
        wchar_t classKey[kRemovalKeyPathSize] = {};
        if (wow64 && ComposeText(classKey, kRemovalKeyPathSize, {kClassKeysWow, clsid}))
            DeleteKeyTree(HKEY_CLASSES_ROOT, classKey);
        if (ComposeText(classKey, kRemovalKeyPathSize, {kClassKeys, clsid}))
            DeleteKeyTree(HKEY_CLASSES_ROOT, classKey);
    }
    DeleteKeyTree(HKEY_CLASSES_ROOT, progId);
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
    if (HoldsCharacter(clsid, L'\\'))
        clsid[0] = 0;
    wchar_t serverPath[kServerPathSize] = {};
    ReadServerPath(clsid, serverPath);

    int absolute = IsAbsoluteServerPath(serverPath);
    int list = FindNamedControl(progId);
    if (list)
        RemoveFixedKeys(list);
    else
        RemoveGenericKeys(progId, clsid, absolute ? serverPath : L"");

    if (absolute) {
        UnregisterControlFile(serverPath);
        DeleteFileW(serverPath);
    }
    return 1;
}

// Removal of one installed control: its keys (a fixed list for three named
// controls, a generic rule for every other), then its server file is
// unregistered and deleted. Nothing is reported. The keys are planned
// first, so the removal's record holds them before any of them goes.
#include "controls/controls.h"

#include "base/text.h"
#include "base/guid_text.h"
#include "controls/records.h"
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

// The keys of the removal under way, in the order they are deleted: each
// path, with its terminator, in g_planText.
struct PlanEntry {
    HKEY root;
    size_t at;
};
static PlanEntry g_planned[kPlannedKeys];
static wchar_t g_planText[kPlanChars];
static int g_plannedCount;
static size_t g_planUsed;

static void ResetPlan()
{
    g_plannedCount = 0;
    g_planUsed = 0;
}

// 0 when the plan is full.
static int PlanKey(HKEY root, const wchar_t *path)
{
    if (g_plannedCount >= kPlannedKeys ||
        !CopyText(g_planText + g_planUsed, kPlanChars - g_planUsed, path))
        return 0;
    g_planned[g_plannedCount].root = root;
    g_planned[g_plannedCount].at = g_planUsed;
    g_plannedCount++;
    g_planUsed += TextLength(path) + 1;
    return 1;
}

int PlannedKeyCount()
{
    return g_plannedCount;
}

const wchar_t *PlannedKey(int index, HKEY *root)
{
    *root = g_planned[index].root;
    return g_planText + g_planned[index].at;
}

// Every deletion is tried, whether or not the one before it succeeded.
// Returns how many keys went.
static int DeletePlannedKeys()
{
    int deleted = 0;
    for (int i = 0; i < g_plannedCount; i++)
        deleted += DeleteKeyTree(g_planned[i].root, g_planText + g_planned[i].at) != 0;
    return deleted;
}

// Plans the key named by joining the parts; a path that does not fit is
// not acted on.
static void PlanJoinedKey(HKEY root, std::initializer_list<const wchar_t *> parts)
{
    wchar_t path[kRemovalKeyPathSize] = {};
    if (ComposeText(path, kRemovalKeyPathSize, parts))
        PlanKey(root, path);
}

// The ProgID and the type library, then the class (in the 32-bit view of
// 64-bit Windows the class and the type library twins there).
static void PlanClassControlKeys(const ClassControl *control, BOOL wow64)
{
    PlanKey(HKEY_CLASSES_ROOT, control->progId);
    PlanJoinedKey(HKEY_CLASSES_ROOT, {L"TypeLib\\", control->typeLib});
    if (wow64) {
        PlanJoinedKey(HKEY_CLASSES_ROOT, {kClassKeysWow, control->clsid});
        PlanJoinedKey(HKEY_CLASSES_ROOT, {L"Wow6432Node\\TypeLib\\", control->typeLib});
        return;
    }
    PlanJoinedKey(HKEY_CLASSES_ROOT, {kClassKeys, control->clsid});
}

// The ProgID and its class, then the machine-wide ProgID key, named with a
// closing brace as the controls' own installers wrote it, and the
// machine-wide class (in the 32-bit view under both of its names).
static void PlanDocumentKeys(const DocumentControl *control, BOOL wow64)
{
    PlanKey(HKEY_CLASSES_ROOT, control->progId);
    PlanJoinedKey(HKEY_CLASSES_ROOT, {wow64 ? kClassKeysWow : kClassKeys, control->clsid});
    PlanJoinedKey(HKEY_LOCAL_MACHINE, {L"SOFTWARE\\Classes\\", control->progId, L"}"});
    if (wow64) {
        PlanJoinedKey(HKEY_LOCAL_MACHINE,
                      {L"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\", control->clsid});
        PlanJoinedKey(HKEY_LOCAL_MACHINE, {L"Wow6432Node\\Classes\\CLSID\\", control->clsid});
        return;
    }
    PlanJoinedKey(HKEY_LOCAL_MACHINE, {L"SOFTWARE\\Classes\\CLSID\\", control->clsid});
}

static void PlanFixedKeys(int list)
{
    BOOL wow64 = IsWow64();
    if (list == kUploaderKeys)
        PlanClassControlKeys(&kUploader, wow64);
    else if (list == kSealServerKeys)
        PlanClassControlKeys(&kSealServer, wow64);
    else if (list == kDocumentKeys) {
        for (const DocumentControl &document : kDocuments)
            PlanDocumentKeys(&document, wow64);
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

// Plans every subkey of rootName (below HKEY_CLASSES_ROOT) that the pass
// takes, in the order of the walk; 0 when the plan cannot hold them all.
static int PlanMatchingSubkeys(const wchar_t *progId, const wchar_t *reference,
                               const wchar_t *rootName, const wchar_t *serverPath)
{
    wchar_t adjusted[kRemovalKeyPathSize] = {};
    if (!CopyText(adjusted, kRemovalKeyPathSize, reference))
        return 1;
    AdjustReferenceCase(progId, adjusted);
    char ansiRoot[kRemovalKeyPathSize] = {};
    if (!WideCharToMultiByte(CP_ACP, 0, rootName, -1, ansiRoot, (int)kRemovalKeyPathSize, NULL,
                             NULL))
        return 1;
    HKEY root;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ansiRoot, 0, KEY_READ, &root) != ERROR_SUCCESS)
        return 1;
    int whole = 1;
    for (DWORD index = 0;; index++) {
        wchar_t name[kKeyNameSize] = {};
        DWORD size = kKeyNameSize;
        if (RegEnumKeyExW(root, index, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        wchar_t path[kRemovalKeyPathSize] = {};
        // A path that does not fit is not acted on.
        if (GuidTailsMatch(name, adjusted) &&
            MatchIsTheControls(rootName, name, adjusted, serverPath) &&
            ComposeText(path, kRemovalKeyPathSize, {rootName, L"\\", (const wchar_t *)name}) &&
            !PlanKey(HKEY_CLASSES_ROOT, path)) {
            whole = 0;
            break;
        }
    }
    RegCloseKey(root);
    return whole;
}

// Matches beyond what the plan holds are taken in further rounds, as long as
// a round deletes any.
void DeleteMatchingSubkeys(const wchar_t *progId, const wchar_t *reference, const wchar_t *rootName,
                           const wchar_t *serverPath)
{
    for (;;) {
        ResetPlan();
        int whole = PlanMatchingSubkeys(progId, reference, rootName, serverPath);
        if (!DeletePlannedKeys() || whole)
            return;
    }
}

// The three passes of the generic rule: the interfaces (in the 32-bit
// column also those of the Wow6432Node view), then the type libraries.
static const wchar_t *PassRoot(int pass, BOOL wow64)
{
    const wchar_t *roots[] = {L"Interface", wow64 ? L"Wow6432Node\\Interface" : L"Interface",
                              kLibraryPassRoot};
    return roots[pass];
}
const int kPassCount = 3;

// The ProgID, class, type-library and interface keys of any other control,
// with their Wow6432Node twins, and the family's two file-extension keys.
// The passes' reference is left in reference (kDefaultValueSize); 0 when
// the passes matched more keys than the plan holds. serverPath is the
// control's absolute server path, or empty.
static int PlanGenericKeys(const wchar_t *progId, const wchar_t *clsid, const wchar_t *serverPath,
                           wchar_t *reference)
{
    PlanKey(HKEY_CLASSES_ROOT, L".qvb");
    PlanKey(HKEY_CLASSES_ROOT, L".qvm");

    BOOL wow64 = IsWow64();
    const wchar_t *classBase = wow64 ? kClassKeysWow : kClassKeys;
    wchar_t referenceKey[kRemovalKeyPathSize] = {};
    // Without a CLSID there is no reference: the passes match nothing.
    if (clsid[0])
        ComposeText(referenceKey, kRemovalKeyPathSize, {classBase, clsid, L"\\TypeLib"});
    reference[0] = 0;
    if (referenceKey[0])
        ReadDefaultValue(referenceKey, reference);
    int whole = 1;
    for (int pass = 0; pass < kPassCount; pass++)
        whole = PlanMatchingSubkeys(progId, reference, PassRoot(pass, wow64), serverPath) && whole;

    // Without a CLSID the class path would name the whole CLSID key.
    if (clsid[0]) {
        if (wow64)
            PlanJoinedKey(HKEY_CLASSES_ROOT, {kClassKeysWow, clsid});
        PlanJoinedKey(HKEY_CLASSES_ROOT, {kClassKeys, clsid});
    }
    PlanKey(HKEY_CLASSES_ROOT, progId);
    return whole;
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
    // A removal that an earlier process left half done is finished first.
    FinishUnfinishedRemovals(NULL, NULL);

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
    const wchar_t *ownServer = absolute ? serverPath : L"";
    ResetPlan();
    int list = FindNamedControl(progId);
    wchar_t reference[kDefaultValueSize] = {};
    int whole = 1;
    if (list)
        PlanFixedKeys(list);
    else
        whole = PlanGenericKeys(progId, clsid, ownServer, reference);

    BeginRemovalRecord(progId, clsid, ownServer);
    DeletePlannedKeys();
    // What the plan could not hold goes unrecorded, after the rest.
    for (int pass = 0; !whole && pass < kPassCount; pass++)
        DeleteMatchingSubkeys(progId, reference, PassRoot(pass, IsWow64()), ownServer);
    MarkRemovalStep(kStepKeys);
    if (absolute) {
        UnregisterControlFile(serverPath);
        MarkRemovalStep(kStepUnregister);
        DeleteFileW(serverPath);
        MarkRemovalStep(kStepFile);
    }
    EndRemovalRecord();
    return 1;
}

// Removal of one installed control: its keys (a fixed list for three named
// controls, a generic rule for every other), then its server file is
// unregistered and deleted. Nothing is reported. The keys are planned
// first, so the removal's record holds them before any of them goes.
#include "controls/controls.h"

#include "base/text.h"
#include "base/guid_text.h"
#include "records/records.h"
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

// Room kept in the plan for the keys planned after the passes (the class
// and the ProgID), so that no number of matches can push them out.
static int g_reservedKeys;
static size_t g_reservedChars;

static void ResetPlan(RemovalPlan *plan)
{
    plan->count = 0;
    plan->used = 0;
    plan->whole = 1;
    g_reservedKeys = 0;
    g_reservedChars = 0;
}

const wchar_t *PlannedKeyPath(const RemovalPlan *plan, int index)
{
    return plan->text + plan->keys[index].at;
}

static int IsPlanned(const RemovalPlan *plan, HKEY root, REGSAM view, const wchar_t *path)
{
    for (int i = 0; i < plan->count; i++) {
        if (plan->keys[i].root == root && plan->keys[i].view == view &&
            SameName(PlannedKeyPath(plan, i), path))
            return 1;
    }
    return 0;
}

// Each key once, in the order first named. 0 when the plan is full (and
// the plan is no longer whole).
static int PlanKey(RemovalPlan *plan, HKEY root, REGSAM view, const wchar_t *path)
{
    if (IsPlanned(plan, root, view, path))
        return 1;
    size_t length = TextLength(path) + 1;
    if (plan->count + g_reservedKeys >= kPlannedKeys ||
        plan->used + g_reservedChars + length > (size_t)kPlanChars) {
        plan->whole = 0;
        return 0;
    }
    CopyText(plan->text + plan->used, kPlanChars - plan->used, path);
    plan->keys[plan->count].root = root;
    plan->keys[plan->count].view = view;
    plan->keys[plan->count].at = plan->used;
    plan->count++;
    plan->used += length;
    return 1;
}

// Every deletion is tried, whether or not the one before it succeeded.
// Returns how many keys went.
static int DeletePlannedKeys(const RemovalPlan *plan)
{
    int deleted = 0;
    for (int i = 0; i < plan->count; i++)
        deleted +=
            DeleteKeyTreeInView(plan->keys[i].root, PlannedKeyPath(plan, i), plan->keys[i].view) != 0;
    return deleted;
}

static int PlannedKeysAreGone(const RemovalPlan *plan)
{
    for (int i = 0; i < plan->count; i++) {
        if (!KeyIsGone(plan->keys[i].root, PlannedKeyPath(plan, i), plan->keys[i].view))
            return 0;
    }
    return 1;
}

// Plans the key named by joining the parts; a path that does not fit is
// not acted on.
static void PlanJoinedKey(RemovalPlan *plan, HKEY root, std::initializer_list<const wchar_t *> parts)
{
    wchar_t path[kRemovalKeyPathSize] = {};
    if (ComposeText(path, kRemovalKeyPathSize, parts))
        PlanKey(plan, root, 0, path);
}

// The ProgID and the type library, then the class (in the 32-bit view of
// 64-bit Windows the class and the type library twins there).
static void PlanClassControlKeys(RemovalPlan *plan, const ClassControl *control, BOOL wow64)
{
    PlanKey(plan, HKEY_CLASSES_ROOT, 0, control->progId);
    PlanJoinedKey(plan, HKEY_CLASSES_ROOT, {L"TypeLib\\", control->typeLib});
    if (wow64) {
        PlanJoinedKey(plan, HKEY_CLASSES_ROOT, {kClassKeysWow, control->clsid});
        PlanJoinedKey(plan, HKEY_CLASSES_ROOT, {L"Wow6432Node\\TypeLib\\", control->typeLib});
        return;
    }
    PlanJoinedKey(plan, HKEY_CLASSES_ROOT, {kClassKeys, control->clsid});
}

// The ProgID and its class, then the machine-wide ProgID key, named with a
// closing brace as the controls' own installers wrote it, and the
// machine-wide class (in the 32-bit view under both of its names).
static void PlanDocumentKeys(RemovalPlan *plan, const DocumentControl *control, BOOL wow64)
{
    PlanKey(plan, HKEY_CLASSES_ROOT, 0, control->progId);
    PlanJoinedKey(plan, HKEY_CLASSES_ROOT, {wow64 ? kClassKeysWow : kClassKeys, control->clsid});
    PlanJoinedKey(plan, HKEY_LOCAL_MACHINE, {L"SOFTWARE\\Classes\\", control->progId, L"}"});
    if (wow64) {
        PlanJoinedKey(plan, HKEY_LOCAL_MACHINE,
                      {L"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\", control->clsid});
        PlanJoinedKey(plan, HKEY_LOCAL_MACHINE,
                      {L"Wow6432Node\\Classes\\CLSID\\", control->clsid});
        return;
    }
    PlanJoinedKey(plan, HKEY_LOCAL_MACHINE, {L"SOFTWARE\\Classes\\CLSID\\", control->clsid});
}

static void PlanFixedKeys(RemovalPlan *plan, int list)
{
    BOOL wow64 = IsWow64();
    if (list == kUploaderKeys)
        PlanClassControlKeys(plan, &kUploader, wow64);
    else if (list == kSealServerKeys)
        PlanClassControlKeys(plan, &kSealServer, wow64);
    else if (list == kDocumentKeys) {
        for (const DocumentControl &document : kDocuments)
            PlanDocumentKeys(plan, &document, wow64);
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
static int PlanMatchingSubkeys(RemovalPlan *plan, const wchar_t *progId, const wchar_t *reference,
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
            !PlanKey(plan, HKEY_CLASSES_ROOT, 0, path)) {
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
    static RemovalPlan plan;
    for (;;) {
        ResetPlan(&plan);
        int whole = PlanMatchingSubkeys(&plan, progId, reference, rootName, serverPath);
        if (!DeletePlannedKeys(&plan) || whole)
            return;
    }
}

// The three passes of the generic rule: the interfaces (in the 32-bit
// column also those of the Wow6432Node view), then the type libraries.
// Outside it the second pass walks "Interface" again; it plans nothing new.
static const wchar_t *PassRoot(int pass, BOOL wow64)
{
    const wchar_t *roots[] = {L"Interface", wow64 ? L"Wow6432Node\\Interface" : L"Interface",
                              kLibraryPassRoot};
    return roots[pass];
}
const int kPassCount = 3;

// The ProgID, class, type-library and interface keys of any other control,
// with their Wow6432Node twins, and the family's two file-extension keys.
// The passes' reference is left in reference (kDefaultValueSize). The class
// keys and the ProgID have their room kept while the passes plan, so they
// are planned whatever the passes find. serverPath is the control's
// absolute server path, or empty.
static void PlanGenericKeys(RemovalPlan *plan, const wchar_t *progId, const wchar_t *clsid,
                            const wchar_t *serverPath, wchar_t *reference)
{
    PlanKey(plan, HKEY_CLASSES_ROOT, 0, L".qvb");
    PlanKey(plan, HKEY_CLASSES_ROOT, 0, L".qvm");

    BOOL wow64 = IsWow64();
    const wchar_t *classBase = wow64 ? kClassKeysWow : kClassKeys;
    wchar_t referenceKey[kRemovalKeyPathSize] = {};
    wchar_t classKey[kRemovalKeyPathSize] = {};
    wchar_t wowClassKey[kRemovalKeyPathSize] = {};
    // Without a CLSID there is no reference, and the class path would name
    // the whole CLSID key: no class key is planned, and the passes match nothing.
    if (clsid[0]) {
        ComposeText(referenceKey, kRemovalKeyPathSize, {classBase, clsid, L"\\TypeLib"});
        ComposeText(classKey, kRemovalKeyPathSize, {kClassKeys, clsid});
        if (wow64)
            ComposeText(wowClassKey, kRemovalKeyPathSize, {kClassKeysWow, clsid});
    }
    reference[0] = 0;
    if (referenceKey[0])
        ReadDefaultValue(referenceKey, reference);
    const wchar_t *last[] = {wowClassKey, classKey, progId};
    for (const wchar_t *key : last) {
        g_reservedKeys += key[0] != 0;
        g_reservedChars += key[0] ? TextLength(key) + 1 : 0;
    }
    for (int pass = 0; pass < kPassCount; pass++)
        PlanMatchingSubkeys(plan, progId, reference, PassRoot(pass, wow64), serverPath);
    g_reservedKeys = 0;
    g_reservedChars = 0;
    for (const wchar_t *key : last) {
        if (key[0])
            PlanKey(plan, HKEY_CLASSES_ROOT, 0, key);
    }
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

// The file is gone once it is deleted, or when it was not there (or no
// file can have its name).
static int DeleteServerFile(const wchar_t *path)
{
    if (DeleteFileW(path))
        return 1;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_INVALID_NAME;
}

void RemoveControl(const wchar_t *progIdText, RemovalOutcome *outcome)
{
    static RemovalPlan plan;
    static RemovalJournal journal;
    static RecordServer servers[kRecordServers];
    wchar_t progId[kRemovalKeyPathSize] = {};
    wchar_t clsidPath[kRemovalKeyPathSize] = {};
    outcome->recorded = 0;
    // An empty ProgID would make every path name a key directly below the
    // root; a ProgID too long for its paths is refused as a whole.
    if (!progIdText[0] || !CopyText(progId, kRemovalKeyPathSize, progIdText))
        return;
    if (!ComposeText(clsidPath, kRemovalKeyPathSize, {(const wchar_t *)progId, L"\\CLSID"}))
        return;
    // A removal that an earlier process left half done is finished first.
    FinishInterruptedRemovals(NULL, NULL);

    wchar_t clsid[kDefaultValueSize] = {};
    ReadDefaultValue(clsidPath, clsid);
    // A CLSID text with a backslash names no single class key (the registry
    // reads a doubled backslash as one, so a lone backslash would name the
    // whole CLSID key): it counts as no CLSID.
    if (HoldsCharacter(clsid, L'\\'))
        clsid[0] = 0;
    ZeroMemory(servers, sizeof(servers));
    wchar_t *serverPath = servers[0].path;
    ReadServerPath(clsid, serverPath);
    int absolute = IsAbsoluteServerPath(serverPath);
    if (!absolute)
        serverPath[0] = 0;
    servers[0].view = absolute ? OwnView() : 0;

    ResetPlan(&plan);
    int list = FindNamedControl(progId);
    wchar_t reference[kDefaultValueSize] = {};
    if (list)
        PlanFixedKeys(&plan, list);
    else
        PlanGenericKeys(&plan, progId, clsid, serverPath, reference);

    outcome->recorded = BeginRemovalRecord(&journal, &plan, progId, clsid, servers);
    DeletePlannedKeys(&plan);
    // What the plan could not hold goes unrecorded, after the rest.
    for (int pass = 0; !plan.whole && !list && pass < kPassCount; pass++)
        DeleteMatchingSubkeys(progId, reference, PassRoot(pass, IsWow64()), serverPath);
    if (PlannedKeysAreGone(&plan))
        MarkRemoval(&journal, kMarkKeys);
    if (absolute) {
        // Marked before it runs: a registrar that never comes back is never
        // started again by a later completion.
        MarkRemoval(&journal, kMarkUnregistering);
        if (UnregisterControlFile(serverPath))
            MarkRemoval(&journal, kMarkUnregister);
        if (DeleteServerFile(serverPath))
            MarkRemoval(&journal, kMarkFile);
    }
    EndRemovalRecord(&journal);
}

int UninstallControl(const wchar_t *progId)
{
    RemovalOutcome outcome;
    RemoveControl(progId, &outcome);
    PruneRecords();
    return 1;
}

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
            DeleteKeyTree(plan->keys[i].root, PlannedKeyPath(plan, i), plan->keys[i].view) != 0;
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

// Plans the key named by joining the parts, in the view of view; a path
// that does not fit is not acted on.
static void PlanJoinedKey(RemovalPlan *plan, HKEY root, REGSAM view,
                          std::initializer_list<const wchar_t *> parts)
{
    wchar_t path[kRemovalKeyPathSize] = {};
    if (ComposeText(path, kRemovalKeyPathSize, parts))
        PlanKey(plan, root, view, path);
}

// The ProgID and the type library, then the class (in the 32-bit view of
// 64-bit Windows the class and the type library twins there).
static void PlanClassControlKeys(RemovalPlan *plan, const ClassControl *control, BOOL wow64,
                                 REGSAM view)
{
    PlanKey(plan, HKEY_CLASSES_ROOT, view, control->progId);
    PlanJoinedKey(plan, HKEY_CLASSES_ROOT, view, {L"TypeLib\\", control->typeLib});
    if (wow64) {
        PlanJoinedKey(plan, HKEY_CLASSES_ROOT, view, {kClassKeysWow, control->clsid});
        PlanJoinedKey(plan, HKEY_CLASSES_ROOT, view, {L"Wow6432Node\\TypeLib\\", control->typeLib});
        return;
    }
    PlanJoinedKey(plan, HKEY_CLASSES_ROOT, view, {kClassKeys, control->clsid});
}

// The ProgID and its class, then the machine-wide ProgID key, named with a
// closing brace as the controls' own installers wrote it, and the
// machine-wide class (in the 32-bit view under both of its names).
static void PlanDocumentKeys(RemovalPlan *plan, const DocumentControl *control, BOOL wow64,
                             REGSAM view)
{
    PlanKey(plan, HKEY_CLASSES_ROOT, view, control->progId);
    PlanJoinedKey(plan, HKEY_CLASSES_ROOT, view,
                  {wow64 ? kClassKeysWow : kClassKeys, control->clsid});
    PlanJoinedKey(plan, HKEY_LOCAL_MACHINE, view, {L"SOFTWARE\\Classes\\", control->progId, L"}"});
    if (wow64) {
        PlanJoinedKey(plan, HKEY_LOCAL_MACHINE, view,
                      {L"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\", control->clsid});
        PlanJoinedKey(plan, HKEY_LOCAL_MACHINE, view,
                      {L"Wow6432Node\\Classes\\CLSID\\", control->clsid});
        return;
    }
    PlanJoinedKey(plan, HKEY_LOCAL_MACHINE, view, {L"SOFTWARE\\Classes\\CLSID\\", control->clsid});
}

// The list of one column (wow64: the 32-bit view's), its paths taken in the
// view of view.
static void PlanFixedKeys(RemovalPlan *plan, int list, BOOL wow64, REGSAM view)
{
    if (list == kUploaderKeys)
        PlanClassControlKeys(plan, &kUploader, wow64, view);
    else if (list == kSealServerKeys)
        PlanClassControlKeys(plan, &kSealServer, wow64, view);
    else if (list == kDocumentKeys) {
        for (const DocumentControl &document : kDocuments)
            PlanDocumentKeys(plan, &document, wow64, view);
    }
}

// Whether a matched subkey of rootName belongs to a type library of the
// control: a library key is its own library, an interface names its library
// in its TypeLib subkey (or, naming none, is taken for the reference's).
static int MatchIsTheControls(const wchar_t *rootName, const wchar_t *name,
                              const wchar_t *reference, const wchar_t *serverPath, REGSAM view)
{
    if (GuidInOleRange(name))
        return 0;
    if (wcscmp(rootName, kLibraryPassRoot) == 0)
        return TypeLibraryIsTheControls(name, serverPath, view);
    wchar_t path[kRemovalKeyPathSize] = {};
    wchar_t library[kDefaultValueSize] = {};
    if (!ComposeText(path, kRemovalKeyPathSize, {rootName, L"\\", name, L"\\TypeLib"}))
        return 0;
    ReadDefaultValueInView(path, view, library);
    return TypeLibraryIsTheControls(library[0] ? library : reference, serverPath, view);
}

// Plans every subkey of rootName (below HKEY_CLASSES_ROOT, in the view of
// view) that the pass takes, in the order of the walk; 0 when the plan
// cannot hold them all.
static int PlanMatchingSubkeys(RemovalPlan *plan, const wchar_t *progId, const wchar_t *reference,
                               const wchar_t *rootName, const wchar_t *serverPath, REGSAM view)
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
    // The own view's root is opened by its ANSI name, as the passes always
    // did; the other view's as every key of that view is.
    if ((view ? OpenClassesKey(rootName, view, &root)
              : RegOpenKeyExA(HKEY_CLASSES_ROOT, ansiRoot, 0, KEY_READ, &root)) != ERROR_SUCCESS)
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
            MatchIsTheControls(rootName, name, adjusted, serverPath, view) &&
            ComposeText(path, kRemovalKeyPathSize, {rootName, L"\\", (const wchar_t *)name}) &&
            !PlanKey(plan, HKEY_CLASSES_ROOT, view, path)) {
            whole = 0;
            break;
        }
    }
    RegCloseKey(root);
    return whole;
}

// Matches beyond what the plan holds are taken in further rounds, as long as
// a round deletes any.
static void DeleteMatchingSubkeysInView(const wchar_t *progId, const wchar_t *reference,
                                        const wchar_t *rootName, const wchar_t *serverPath,
                                        REGSAM view)
{
    static RemovalPlan plan;
    for (;;) {
        ResetPlan(&plan);
        int whole = PlanMatchingSubkeys(&plan, progId, reference, rootName, serverPath, view);
        if (!DeletePlannedKeys(&plan) || whole)
            return;
    }
}

void DeleteMatchingSubkeys(const wchar_t *progId, const wchar_t *reference, const wchar_t *rootName,
                           const wchar_t *serverPath)
{
    DeleteMatchingSubkeysInView(progId, reference, rootName, serverPath, 0);
}

// The passes of the generic rule in the process's own view: the interfaces
// (in the 32-bit column also those of the Wow6432Node view), then the type
// libraries; outside that column the second pass walks "Interface" again and
// plans nothing new. In the other view of 64-bit Windows, reached by its
// flag, its interfaces and type libraries, once each.
const int kPassCount = 3;
static const wchar_t *PassRoot(int pass, BOOL wow64, int ownView)
{
    const wchar_t *roots[] = {L"Interface", wow64 ? L"Wow6432Node\\Interface" : L"Interface",
                              kLibraryPassRoot};
    const wchar_t *otherRoots[] = {L"Interface", NULL, kLibraryPassRoot};
    return ownView ? roots[pass] : otherRoots[pass];
}

// The class of the control in one view and what its passes match there.
struct ClassView {
    REGSAM view;         // 0: the process's own
    int own;             // the own view, which follows the removal's column
    int held;            // the class there is the control's: its keys go
    int counts;          // ... and it must be gone for the removal to be done
    wchar_t *serverPath; // absolute, or empty
    wchar_t reference[kDefaultValueSize];
    wchar_t classKeys[2][kRemovalKeyPathSize]; // deleted after the passes
};

// The reference and the class keys of the generic rule in one view (the
// own view's after the column: in the 32-bit one also Wow6432Node's).
static void PrepareClassView(ClassView *in, const wchar_t *clsid, BOOL wow64)
{
    wchar_t referenceKey[kRemovalKeyPathSize] = {};
    in->reference[0] = 0;
    in->classKeys[0][0] = in->classKeys[1][0] = 0;
    // Without a CLSID there is no reference, and the class path would name
    // the whole CLSID key: no class key is planned, and the passes match nothing.
    if (!clsid[0] || !in->held)
        return;
    int wowPaths = in->own && wow64;
    ComposeText(referenceKey, kRemovalKeyPathSize,
                {wowPaths ? kClassKeysWow : kClassKeys, clsid, L"\\TypeLib"});
    ReadDefaultValueInView(referenceKey, in->view, in->reference);
    if (wowPaths)
        ComposeText(in->classKeys[0], kRemovalKeyPathSize, {kClassKeysWow, clsid});
    ComposeText(in->classKeys[1], kRemovalKeyPathSize, {kClassKeys, clsid});
}

static void PlanPasses(RemovalPlan *plan, const ClassView *in, const wchar_t *progId, BOOL wow64)
{
    for (int pass = 0; pass < kPassCount; pass++) {
        const wchar_t *root = PassRoot(pass, wow64, in->own);
        if (root)
            PlanMatchingSubkeys(plan, progId, in->reference, root, in->serverPath, in->view);
    }
}

static void DeleteUnplannedMatches(const ClassView *in, const wchar_t *progId, BOOL wow64)
{
    for (int pass = 0; pass < kPassCount; pass++) {
        const wchar_t *root = PassRoot(pass, wow64, in->own);
        if (root)
            DeleteMatchingSubkeysInView(progId, in->reference, root, in->serverPath, in->view);
    }
}

// The ProgID, class, type-library and interface keys of any other control,
// with their Wow6432Node twins, in each view that holds the class, and the
// family's two file-extension keys; the ProgID last. The class keys and the
// ProgID have their room kept while the passes plan, so they are planned
// whatever the passes find.
static void PlanGenericKeys(RemovalPlan *plan, const wchar_t *progId, ClassView *views, int count,
                            BOOL wow64)
{
    PlanKey(plan, HKEY_CLASSES_ROOT, 0, L".qvb");
    PlanKey(plan, HKEY_CLASSES_ROOT, 0, L".qvm");
    g_reservedKeys = 1;
    g_reservedChars = TextLength(progId) + 1;
    for (int v = 0; v < count; v++) {
        for (const wchar_t *key : views[v].classKeys) {
            g_reservedKeys += key[0] != 0;
            g_reservedChars += key[0] ? TextLength(key) + 1 : 0;
        }
    }
    for (int v = 0; v < count; v++)
        PlanPasses(plan, &views[v], progId, wow64);
    g_reservedKeys = 0;
    g_reservedChars = 0;
    for (int v = 0; v < count; v++) {
        for (const wchar_t *key : views[v].classKeys) {
            if (key[0])
                PlanKey(plan, HKEY_CLASSES_ROOT, views[v].view, key);
        }
    }
    PlanKey(plan, HKEY_CLASSES_ROOT, 0, progId);
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

// The class key of a view that held the class is gone.
static int ClassIsGone(const wchar_t *clsid, REGSAM view)
{
    wchar_t path[kRemovalKeyPathSize] = {};
    return !ComposeText(path, kRemovalKeyPathSize, {kClassKeys, clsid}) ||
           KeyIsGone(HKEY_CLASSES_ROOT, path, view);
}

void RemoveControl(const wchar_t *progIdText, RemovalOutcome *outcome)
{
    static RemovalPlan plan;
    static RemovalJournal journal;
    static RecordServer found[kRecordServers];   // each view's, as views[] has them
    static RecordServer servers[kRecordServers]; // those with a file, for the record
    static ClassView views[kRecordServers];
    wchar_t progId[kRemovalKeyPathSize] = {};
    wchar_t clsidPath[kRemovalKeyPathSize] = {};
    outcome->recorded = 0;
    outcome->copied = 0;
    outcome->complete = 0;
    // An empty ProgID would make every path name a key directly below the
    // root; a ProgID too long for its paths is refused as a whole.
    if (!progIdText[0] || !CopyText(progId, kRemovalKeyPathSize, progIdText))
        return;
    if (!ComposeText(clsidPath, kRemovalKeyPathSize, {(const wchar_t *)progId, L"\\CLSID"}))
        return;
    // A removal that an earlier process left half done is finished first.
    FinishInterruptedRemovals(NULL, NULL);
    // A ProgID that is gone already (a list shown before another removal)
    // leaves nothing to remove and no record to push an older one out.
    if (KeyIsGone(HKEY_CLASSES_ROOT, progId, 0)) {
        outcome->recorded = outcome->copied = outcome->complete = 1;
        return;
    }

    wchar_t clsid[kDefaultValueSize] = {};
    ReadDefaultValue(clsidPath, clsid);
    // A CLSID text with a backslash names no single class key (the registry
    // reads a doubled backslash as one, so a lone backslash would name the
    // whole CLSID key): it counts as no CLSID.
    if (HoldsCharacter(clsid, L'\\'))
        clsid[0] = 0;
    // The own view as the removal's column takes it; the other view of
    // 64-bit Windows only when the class has a server there. In each, the
    // class goes only when it is the control's, and its server file only
    // when the machine's classes name it and no other control uses it.
    ZeroMemory(servers, sizeof(servers));
    BOOL wow64 = IsWow64();
    int count = 0, files = 0;
    for (int v = 0; v < kRecordServers; v++) {
        ClassView *in = &views[count];
        RecordServer *server = &found[count];
        int view = v == 0 ? ProcessView() : OtherView(ProcessView());
        in->own = v == 0;
        in->view = in->own ? 0 : ViewAccess(view);
        if (!in->own && (!view || !ClassHoldsServer(clsid, in->view)))
            continue;
        in->held = clsid[0] && ClassIsTheControls(progId, clsid, view);
        // The own view counts where the class has a server, the other view
        // is taken only then.
        in->counts = in->held && ClassHoldsServer(clsid, in->view);
        server->view = view;
        server->path[0] = 0;
        if (in->held && ReadServerFile(clsid, in->view, server->path, 1) &&
            ServerIsTheMachines(clsid, view, server->path)) {
            if (!ServerIsShared(progId, clsid, server->path, view))
                servers[files++] = *server;
        } else {
            server->path[0] = 0;
        }
        in->serverPath = server->path;
        PrepareClassView(in, clsid, wow64);
        count++;
    }

    ResetPlan(&plan);
    int list = FindNamedControl(progId);
    if (list) {
        PlanFixedKeys(&plan, list, wow64, 0);
        // In the other view its own column's list: from a 64-bit process the
        // 32-bit one's paths name that view, from a 32-bit one the flag does.
        if (count > 1)
            PlanFixedKeys(&plan, list, ProcessView() == kView64,
                          ProcessView() == kView64 ? 0 : views[1].view);
    } else {
        PlanGenericKeys(&plan, progId, views, count, wow64);
    }

    outcome->recorded = BeginRemovalRecord(&journal, &plan, progId, clsid, servers);
    DeletePlannedKeys(&plan);
    // What the plan could not hold goes unrecorded, after the rest.
    for (int v = 0; v < count && !plan.whole && !list; v++)
        DeleteUnplannedMatches(&views[v], progId, wow64);
    if (PlannedKeysAreGone(&plan))
        MarkRemoval(&journal, kMarkKeys);
    if (files) {
        // Marked before it runs: a registrar that never comes back is never
        // started again by a later completion.
        MarkRemoval(&journal, kMarkUnregistering);
        int unregistered = 1, deleted = 1;
        for (int i = 0; i < files; i++)
            unregistered =
                UnregisterControlFileInView(servers[i].path, servers[i].view) && unregistered;
        if (unregistered)
            MarkRemoval(&journal, kMarkUnregister);
        for (int i = 0; i < files; i++)
            deleted = DeleteServerFile(&servers[i]) && deleted;
        if (deleted)
            MarkRemoval(&journal, kMarkFile);
    }
    outcome->copied = RecordHoldsGoneFiles(&journal, servers);
    EndRemovalRecord(&journal);
    // Done only when the ProgID and the control's class in every view that
    // held it are gone.
    outcome->complete = KeyIsGone(HKEY_CLASSES_ROOT, progId, 0);
    for (int v = 0; v < count; v++) {
        if (views[v].counts && !ClassIsGone(clsid, views[v].view))
            outcome->complete = 0;
    }
}

int UninstallControl(const wchar_t *progId)
{
    RemovalOutcome outcome;
    RemoveControl(progId, &outcome);
    PruneRecords();
    return 1;
}

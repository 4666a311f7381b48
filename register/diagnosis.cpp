// Why a registration failed, found by looking at the file the way the loader
// would: present, a PE DLL, built for this machine, its imported DLLs found.
// Only then does the registrar's exit code speak. It runs only after a
// failed registration, and its work is bounded whatever the file holds: a
// fixed number of section headers, import entries and name characters, each
// read where it lies, so the file's size does not matter.
#include "register/register.h"

#include "base/text.h"
#include "controls/controls.h"

#include <stddef.h>

// The registrar of this process's bitness loads DLLs of its machine and hands
// one of the other bitness to its twin (on 64-bit Windows), whose loader
// looks in the system folder of that bitness: SysWOW64 for a 32-bit DLL, the
// 64-bit System32 for a 64-bit one, which a 32-bit process reaches as
// Sysnative (file system redirection leaves that name alone).
#if defined(__x86_64__) || defined(_M_X64)
const WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
static int Is64BitWindows()
{
    return 1;
}
static int GetOtherSystemFolder(wchar_t *folder)
{
    UINT n = GetSystemWow64DirectoryW(folder, MAX_PATH);
    return n > 0 && n < MAX_PATH;
}
#else
const WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
static int Is64BitWindows()
{
    return IsWow64() != 0;
}
static int GetOtherSystemFolder(wchar_t *folder)
{
    UINT n = GetWindowsDirectoryW(folder, MAX_PATH);
    return n > 0 && n < MAX_PATH && AppendText(folder, MAX_PATH, L"\\Sysnative");
}
#endif
const WORD kMachineArm64 = 0xAA64;

// Exit codes of regsvr32.exe.
const DWORD kRegistrarLoadFailed = 3;
const DWORD kRegistrarNoEntry = 4;
const DWORD kRegistrarEntryFailed = 5;

// The loader takes at most 96 sections; a file with more gets no reason from
// the sections past them. No DLL imports from hundreds of DLLs: past this
// many import entries the rest are not looked at.
const WORD kMaxSections = 96;
const int kMaxImportEntries = 256;

// The optional header up to its data directories, and one directory entry.
const DWORD kOptional32Fixed = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
const DWORD kOptional64Fixed = offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);

static const wchar_t kNotPeDll[] = L"不是PE格式的DLL";

// The file, open for reading. Nothing is mapped: a file larger than the
// address space of a 32-bit process is read like any other.
struct FileView {
    HANDLE file;
    ULONGLONG size;
};

// Opens the file for reading; on failure its reason is in reason.
static int OpenView(const wchar_t *path, FileView *view, wchar_t *reason, size_t cap)
{
    view->size = 0;
    view->file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    LARGE_INTEGER size;
    if (view->file == INVALID_HANDLE_VALUE || !GetFileSizeEx(view->file, &size)) {
        CopyText(reason, cap, L"文件无法读取，可能正被其他程序使用，请关闭它后再试");
        return 0;
    }
    if (size.QuadPart == 0) {
        CopyText(reason, cap, L"文件是空的（0字节），请重新获取这个控件文件");
        return 0;
    }
    view->size = (ULONGLONG)size.QuadPart;
    return 1;
}

static void CloseView(FileView *view)
{
    if (view->file != INVALID_HANDLE_VALUE)
        CloseHandle(view->file);
}

static int Holds(const FileView *view, ULONGLONG offset, ULONGLONG length)
{
    return offset <= view->size && length <= view->size - offset;
}

// Reads length bytes at offset; 0 when the file does not hold them all.
static int ReadAt(const FileView *view, ULONGLONG offset, void *buffer, DWORD length)
{
    if (!Holds(view, offset, length))
        return 0;
    OVERLAPPED at = {};
    at.Offset = (DWORD)offset;
    at.OffsetHigh = (DWORD)(offset >> 32);
    DWORD got = 0;
    return ReadFile(view->file, buffer, length, &got, &at) && got == length;
}

static const wchar_t *MachineName(WORD machine)
{
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
        return L"x86（32位）";
    case IMAGE_FILE_MACHINE_AMD64:
        return L"x64（64位）";
    case kMachineArm64:
        return L"ARM64";
    case IMAGE_FILE_MACHINE_ARMNT:
        return L"ARM";
    case IMAGE_FILE_MACHINE_IA64:
        return L"IA64";
    default:
        return L"未知机器";
    }
}

// The optional header's magic a machine's images carry; 0 when unknown.
static WORD MagicOf(WORD machine)
{
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
    case IMAGE_FILE_MACHINE_ARMNT:
        return IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    case IMAGE_FILE_MACHINE_AMD64:
    case kMachineArm64:
    case IMAGE_FILE_MACHINE_IA64:
        return IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    default:
        return 0;
    }
}

// Headers of a PE file; 0 when the file is none.
struct PeHeaders {
    WORD machine;
    WORD characteristics;
    WORD magic;
    DWORD importRva;
    DWORD importSize;
    WORD sectionCount; // at most kMaxSections
    IMAGE_SECTION_HEADER sections[kMaxSections];
};

// The import directory entry, when the optional header is long enough to
// hold it: its size in the file header and its count of directories decide,
// not the size of the full structure.
static void ReadImportDirectory(const FileView *view, ULONGLONG optional, DWORD optionalSize,
                                PeHeaders *pe)
{
    DWORD fixed = pe->magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? kOptional64Fixed : kOptional32Fixed;
    DWORD countAt = fixed - sizeof(DWORD); // NumberOfRvaAndSizes ends the fixed part
    ULONGLONG entryAt = fixed + IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof(IMAGE_DATA_DIRECTORY);
    DWORD directories = 0;
    IMAGE_DATA_DIRECTORY entry = {};
    if (optionalSize < entryAt + sizeof(IMAGE_DATA_DIRECTORY) ||
        !ReadAt(view, optional + countAt, &directories, sizeof(directories)) ||
        directories <= IMAGE_DIRECTORY_ENTRY_IMPORT ||
        !ReadAt(view, optional + entryAt, &entry, sizeof(entry)))
        return;
    pe->importRva = entry.VirtualAddress;
    pe->importSize = entry.Size;
}

// The signature, the file header and the optional header's magic, read as one.
#pragma pack(push, 1)
struct NtStart {
    DWORD signature;
    IMAGE_FILE_HEADER file;
    WORD magic;
};
#pragma pack(pop)

static int ReadPeHeaders(const FileView *view, PeHeaders *pe)
{
    IMAGE_DOS_HEADER dos = {};
    if (!ReadAt(view, 0, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        dos.e_lfanew < 0)
        return 0;
    ULONGLONG nt = (ULONGLONG)dos.e_lfanew;
    NtStart start = {};
    if (!ReadAt(view, nt, &start, sizeof(start)) || start.signature != IMAGE_NT_SIGNATURE)
        return 0;
    ULONGLONG optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
    pe->machine = start.file.Machine;
    pe->characteristics = start.file.Characteristics;
    pe->magic = start.magic;
    pe->sectionCount =
        start.file.NumberOfSections < kMaxSections ? start.file.NumberOfSections : kMaxSections;
    pe->importRva = 0;
    pe->importSize = 0;
    if (pe->magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC && pe->magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return 0;
    ReadImportDirectory(view, optional, start.file.SizeOfOptionalHeader, pe);
    return ReadAt(view, optional + start.file.SizeOfOptionalHeader, pe->sections,
                  pe->sectionCount * (DWORD)sizeof(IMAGE_SECTION_HEADER));
}

// File offset of an address in the loaded image; 0 when no section looked at holds it.
static ULONGLONG RvaToOffset(const PeHeaders *pe, DWORD rva)
{
    const IMAGE_SECTION_HEADER *section = pe->sections;
    for (WORD i = 0; i < pe->sectionCount; i++, section++) {
        DWORD extent = section->SizeOfRawData;
        if (rva >= section->VirtualAddress && rva - section->VirtualAddress < extent)
            return (ULONGLONG)section->PointerToRawData + (rva - section->VirtualAddress);
    }
    return 0;
}

// The loader resolves these names itself; they need not exist as files.
static int IsApiSetName(const char *name)
{
    return StartsWithIgnoringCase(name, "api-ms-") || StartsWithIgnoringCase(name, "ext-ms-");
}

// The C and C++ runtimes a control most often needs, and the package that
// installs each. The 2005 and 2008 ones live in the side-by-side store, not
// on the search path, so their assembly is looked for there.
struct Runtime {
    const wchar_t *dll;
    const wchar_t *version;
    const wchar_t *assembly;
};
static const Runtime kRuntimes[] = {
    {L"msvcr80.dll", L"2005", L"microsoft.vc80.crt"},
    {L"msvcp80.dll", L"2005", L"microsoft.vc80.crt"},
    {L"mfc80.dll", L"2005", L"microsoft.vc80.mfc"},
    {L"mfc80u.dll", L"2005", L"microsoft.vc80.mfc"},
    {L"atl80.dll", L"2005", L"microsoft.vc80.atl"},
    {L"msvcr90.dll", L"2008", L"microsoft.vc90.crt"},
    {L"msvcp90.dll", L"2008", L"microsoft.vc90.crt"},
    {L"mfc90.dll", L"2008", L"microsoft.vc90.mfc"},
    {L"mfc90u.dll", L"2008", L"microsoft.vc90.mfc"},
    {L"atl90.dll", L"2008", L"microsoft.vc90.atl"},
    {L"msvcr100.dll", L"2010", NULL},
    {L"msvcp100.dll", L"2010", NULL},
    {L"mfc100.dll", L"2010", NULL},
    {L"mfc100u.dll", L"2010", NULL},
    {L"msvcr110.dll", L"2012", NULL},
    {L"msvcp110.dll", L"2012", NULL},
    {L"mfc110.dll", L"2012", NULL},
    {L"mfc110u.dll", L"2012", NULL},
    {L"msvcr120.dll", L"2013", NULL},
    {L"msvcp120.dll", L"2013", NULL},
    {L"mfc120.dll", L"2013", NULL},
    {L"mfc120u.dll", L"2013", NULL},
    {L"vcruntime140.dll", L"2015-2022", NULL},
    {L"vcruntime140_1.dll", L"2015-2022", NULL},
    {L"msvcp140.dll", L"2015-2022", NULL},
    {L"msvcp140_1.dll", L"2015-2022", NULL},
    {L"msvcp140_2.dll", L"2015-2022", NULL},
    {L"mfc140.dll", L"2015-2022", NULL},
    {L"mfc140u.dll", L"2015-2022", NULL},
    {L"concrt140.dll", L"2015-2022", NULL},
    {L"vcomp140.dll", L"2015-2022", NULL},
    {L"ucrtbase.dll", L"2015-2022", NULL},
};

static const Runtime *FindRuntime(const wchar_t *dll)
{
    for (const Runtime &runtime : kRuntimes) {
        if (SameName(runtime.dll, dll))
            return &runtime;
    }
    return NULL;
}

// Where the loader of the registrar that takes a DLL looks for what it
// imports, in its order after the DLL's own folder: the system folder of the
// DLL's bitness, the 16-bit system folder, the Windows folder, then PATH.
// Never the tool's own folder, where the registrar does not look.
struct LoaderPlaces {
    WORD machine; // x86 or x64
    wchar_t system[MAX_PATH];
    wchar_t system16[MAX_PATH];
    wchar_t windows[MAX_PATH];
    // This process's system folder, as PATH names it.
    wchar_t ownSystem[MAX_PATH];
    const wchar_t *path; // the PATH variable, empty when it does not fit
};

static int SetUpPlaces(WORD machine, LoaderPlaces *places)
{
    static wchar_t path[kPathVariableChars];
    places->machine = machine;
    DWORD n = GetEnvironmentVariableW(L"PATH", path, kPathVariableChars);
    if (n >= (DWORD)kPathVariableChars)
        n = 0;
    path[n] = 0;
    places->path = path;
    UINT windows = GetWindowsDirectoryW(places->windows, MAX_PATH);
    UINT own = GetSystemDirectoryW(places->ownSystem, MAX_PATH);
    if (windows == 0 || windows >= MAX_PATH || own == 0 || own >= MAX_PATH ||
        !ComposeText(places->system16, MAX_PATH, {(const wchar_t *)places->windows, L"\\System"}))
        return 0;
    if (machine == kOwnMachine)
        return CopyText(places->system, MAX_PATH, (const wchar_t *)places->ownSystem);
    return GetOtherSystemFolder(places->system);
}

// 1 when a file dll lies in the folder of length characters at folder.
static int FolderPartHolds(const wchar_t *folder, size_t length, const wchar_t *dll)
{
    wchar_t file[kDependencyPathChars] = {};
    if (length == 0 || length >= kDependencyPathChars)
        return 0;
    for (size_t i = 0; i < length; i++)
        file[i] = folder[i];
    if ((folder[length - 1] != L'\\' && folder[length - 1] != L'/' &&
         !AppendText(file, kDependencyPathChars, L"\\")) ||
        !AppendText(file, kDependencyPathChars, dll))
        return 0;
    DWORD attributes = GetFileAttributesW(file);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static int FolderHolds(const wchar_t *folder, const wchar_t *dll)
{
    return FolderPartHolds(folder, TextLength(folder), dll);
}

// 1 when dll lies in a folder of PATH. PATH names this process's system
// folder; a process of the DLL's bitness reaches its own system folder there.
static int IsOnPath(const LoaderPlaces *places, const wchar_t *dll)
{
    const wchar_t *start = places->path;
    while (*start) {
        size_t length = 0;
        while (start[length] && start[length] != L';')
            length++;
        int own = length == TextLength(places->ownSystem) &&
                  StartsWithIgnoringCase(start, places->ownSystem);
        if (own ? FolderHolds(places->system, dll) : FolderPartHolds(start, length, dll))
            return 1;
        start += start[length] ? length + 1 : length;
    }
    return 0;
}

// 1 when the side-by-side store holds some version of the assembly for the machine.
static int HasAssembly(const LoaderPlaces *places, const wchar_t *assembly)
{
    const wchar_t *prefix = places->machine == IMAGE_FILE_MACHINE_AMD64 ? L"amd64_" : L"x86_";
    wchar_t pattern[MAX_PATH] = {};
    if (!ComposeText(pattern, MAX_PATH,
                     {(const wchar_t *)places->windows, L"\\WinSxS\\", prefix, assembly, L"_*"}))
        return 0;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(find);
    return 1;
}

// 1 when the loader would find dll, imported by the DLL at path: in that
// DLL's folder, then in the places of its bitness.
static int IsFound(const LoaderPlaces *places, const wchar_t *path, const wchar_t *dll)
{
    if (FolderPartHolds(path, FolderPartLength(path), dll) || FolderHolds(places->system, dll) ||
        FolderHolds(places->system16, dll) || FolderHolds(places->windows, dll) ||
        IsOnPath(places, dll))
        return 1;
    const Runtime *runtime = FindRuntime(dll);
    return runtime && runtime->assembly && HasAssembly(places, runtime->assembly);
}

// Reads the imported DLL's name at offset: up to 255 characters and its
// terminator, all inside the file. 0 when there is none such.
static int ReadDllName(const FileView *view, ULONGLONG offset, char *name)
{
    if (offset >= view->size)
        return 0;
    DWORD length = view->size - offset < (ULONGLONG)kDllNameChars ? (DWORD)(view->size - offset)
                                                                  : (DWORD)kDllNameChars;
    if (!ReadAt(view, offset, name, length))
        return 0;
    for (DWORD i = 0; i < length; i++) {
        if (!name[i])
            return i > 0;
    }
    return 0;
}

// Names the first imported DLL that cannot be found in missing; 0 when all
// those looked at are found.
static int FindMissingImport(const FileView *view, const PeHeaders *pe, const wchar_t *path,
                             wchar_t *missing)
{
    static LoaderPlaces places;
    if (!pe->importRva || !SetUpPlaces(pe->machine, &places))
        return 0;
    ULONGLONG offset = RvaToOffset(pe, pe->importRva);
    if (!offset)
        return 0;
    // The directory's own size bounds the walk where it names one; the loader
    // goes by the empty entry that ends it.
    int entries = kMaxImportEntries;
    if (pe->importSize >= sizeof(IMAGE_IMPORT_DESCRIPTOR) &&
        pe->importSize / sizeof(IMAGE_IMPORT_DESCRIPTOR) < (DWORD)entries)
        entries = (int)(pe->importSize / sizeof(IMAGE_IMPORT_DESCRIPTOR));
    IMAGE_IMPORT_DESCRIPTOR entry = {};
    for (int i = 0; i < entries && ReadAt(view, offset, &entry, sizeof(entry));
         i++, offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        if (entry.Name == 0)
            return 0;
        ULONGLONG nameOffset = RvaToOffset(pe, entry.Name);
        char name[kDllNameChars] = {};
        if (!nameOffset || !ReadDllName(view, nameOffset, name) || IsApiSetName(name))
            continue;
        wchar_t wide[kDllNameChars] = {};
        if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kDllNameChars))
            continue;
        if (!IsFound(&places, path, wide)) {
            CopyText(missing, kDllNameChars, (const wchar_t *)wide);
            return 1;
        }
    }
    return 0;
}

// The reason for a missing DLL, with the package that installs it when it
// is one of the runtimes, for the bitness of the DLL that needs it.
static void DescribeMissing(const wchar_t *dll, WORD machine, wchar_t *reason, size_t cap)
{
    const Runtime *runtime = FindRuntime(dll);
    if (!runtime) {
        ComposeText(reason, cap, {L"找不到它需要的DLL：", dll});
        return;
    }
    ComposeText(reason, cap,
                {L"找不到它需要的DLL：", dll, L"，请安装Microsoft Visual C++ ", runtime->version,
                 L" 可再发行组件包（", machine == IMAGE_FILE_MACHINE_AMD64 ? L"x64" : L"x86",
                 L"）"});
}

// 1 when a registrar on this PC loads DLLs of machine: x86 ones anywhere,
// x64 ones on 64-bit Windows.
static int IsRegistrable(WORD machine)
{
    return machine == IMAGE_FILE_MACHINE_I386 ||
           (machine == IMAGE_FILE_MACHINE_AMD64 && Is64BitWindows());
}

// What the header shows: a coherent PE DLL that a registrar here loads, or why not.
static int DiagnoseHeaders(const PeHeaders *pe, wchar_t *reason, size_t cap)
{
    WORD machineMagic = MagicOf(pe->machine);
    // A header whose machine and format disagree is loaded by no one.
    if (!(pe->characteristics & IMAGE_FILE_DLL) || (machineMagic && machineMagic != pe->magic)) {
        CopyText(reason, cap, kNotPeDll);
        return 1;
    }
    if (!IsRegistrable(pe->machine)) {
        ComposeText(reason, cap,
                    {L"为其他机器编译（", MachineName(pe->machine),
                     L"），这台电脑不能注册，请换用这个控件的",
                     Is64BitWindows() ? L"x86（32位）或x64（64位）" : L"x86（32位）", L"版本"});
        return 1;
    }
    return 0;
}

// What the file itself shows: kServerLoads when it looks loadable by a
// process of machine (0: by any registrar on this PC), else why not. An
// installed file's missing DLL is told with what to do about it (installed).
static int DiagnoseFileFor(const wchar_t *path, WORD machine, int installed, wchar_t *reason,
                           size_t cap)
{
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_INVALID_NAME)
            CopyText(reason, cap, L"文件不存在");
        else
            CopyText(reason, cap, L"文件无法读取，可能正被其他程序使用，请关闭它后再试");
        return kServerUnloadable;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        CopyText(reason, cap, L"这是一个文件夹，不是控件文件");
        return kServerUnloadable;
    }
    FileView view;
    if (!OpenView(path, &view, reason, cap)) {
        CloseView(&view);
        return kServerUnloadable;
    }
    PeHeaders pe;
    if (!ReadPeHeaders(&view, &pe)) {
        CloseView(&view);
        CopyText(reason, cap, kNotPeDll);
        return kServerUnloadable;
    }
    if (machine && pe.machine != machine && (pe.characteristics & IMAGE_FILE_DLL)) {
        CloseView(&view);
        CopyText(reason, cap, MachineName(pe.machine));
        return kServerWrongMachine;
    }
    if (DiagnoseHeaders(&pe, reason, cap)) {
        CloseView(&view);
        return kServerUnloadable;
    }
    wchar_t missing[kDllNameChars] = {};
    int found = FindMissingImport(&view, &pe, path, missing);
    CloseView(&view);
    if (!found)
        return kServerLoads;
    DescribeMissing(missing, pe.machine, reason, cap);
    // Only the runtimes' line says what to install; any other DLL comes with
    // the control's own package.
    if (installed && !FindRuntime(missing))
        AppendText(reason, cap, L"，请重新安装这个控件（它的安装包应带有这个DLL）");
    return kServerNeedsDll;
}

static int DiagnoseFile(const wchar_t *path, wchar_t *reason, size_t cap)
{
    return DiagnoseFileFor(path, 0, 0, reason, cap) != kServerLoads;
}

int DiagnoseInstalledServer(const wchar_t *file, int view, wchar_t *reason, size_t cap)
{
    reason[0] = 0;
    WORD machine = view == kView64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    return DiagnoseFileFor(file, machine, 1, reason, cap);
}

void DiagnoseRegistration(const wchar_t *path, DWORD exitCode, wchar_t *reason, size_t cap)
{
    // The DLL was loaded: the file is sound, the registrar tells the rest.
    if (exitCode == kRegistrarNoEntry) {
        CopyText(reason, cap, L"没有DllRegisterServer函数");
        return;
    }
    if (exitCode == kRegistrarEntryFailed) {
        CopyText(reason, cap, L"DllRegisterServer执行失败");
        return;
    }
    if (DiagnoseFile(path, reason, cap))
        return;
    if (exitCode == (DWORD)-1) {
        CopyText(reason, cap, L"注册程序regsvr32.exe无法启动");
        return;
    }
    if (exitCode == kRegistrarLoadFailed) {
        CopyText(reason, cap, L"无法加载");
        return;
    }
    wchar_t digits[kDecimalSize] = {};
    FormatDecimal(digits, kDecimalSize, (long long)exitCode);
    ComposeText(reason, cap, {L"注册程序退出码", (const wchar_t *)digits});
}

// Why a registration failed, found by looking at the file the way the loader
// would: present, a PE DLL, built for this machine, its imported DLLs on the
// search path. Only then does the registrar's exit code speak.
#include "cli/cli.h"

#include "base/text.h"

// The machine whose DLLs this process's registrar loads: a 32-bit orvictl
// runs the 32-bit registrar (on 64-bit Windows the system folder it names
// is the 32-bit one), a 64-bit orvictl the 64-bit one.
#if defined(__x86_64__) || defined(_M_X64)
const WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
const WORD kOwnMagic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
#else
const WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
const WORD kOwnMagic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
#endif

// Exit codes of regsvr32.exe.
const DWORD kRegistrarLoadFailed = 3;
const DWORD kRegistrarNoEntry = 4;
const DWORD kRegistrarEntryFailed = 5;

// A read-only view of a whole file.
struct FileView {
    HANDLE file;
    HANDLE mapping;
    const BYTE *base;
    ULONGLONG size;
};

static int OpenView(const wchar_t *path, FileView *view)
{
    view->mapping = NULL;
    view->base = NULL;
    view->file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (view->file == INVALID_HANDLE_VALUE)
        return 0;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(view->file, &size) || size.QuadPart == 0)
        return 0;
    view->size = (ULONGLONG)size.QuadPart;
    view->mapping = CreateFileMappingW(view->file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (!view->mapping)
        return 0;
    view->base = (const BYTE *)MapViewOfFile(view->mapping, FILE_MAP_READ, 0, 0, 0);
    return view->base != NULL;
}

static void CloseView(FileView *view)
{
    if (view->base)
        UnmapViewOfFile(view->base);
    if (view->mapping)
        CloseHandle(view->mapping);
    if (view->file != INVALID_HANDLE_VALUE)
        CloseHandle(view->file);
}

static int Holds(const FileView *view, ULONGLONG offset, ULONGLONG length)
{
    return offset <= view->size && length <= view->size - offset;
}

static const wchar_t *MachineName(WORD machine)
{
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
        return L"x86（32位）";
    case IMAGE_FILE_MACHINE_AMD64:
        return L"x64（64位）";
    case 0xAA64:
        return L"ARM64";
    case IMAGE_FILE_MACHINE_ARMNT:
        return L"ARM";
    case IMAGE_FILE_MACHINE_IA64:
        return L"IA64";
    default:
        return L"未知机器";
    }
}

// Headers of a PE file; 0 when the file is none.
struct PeHeaders {
    WORD machine;
    WORD characteristics;
    WORD magic;
    DWORD importRva;
    ULONGLONG sections; // offset of the section table
    WORD sectionCount;
};

static int ReadPeHeaders(const FileView *view, PeHeaders *pe)
{
    if (!Holds(view, 0, sizeof(IMAGE_DOS_HEADER)))
        return 0;
    const IMAGE_DOS_HEADER *dos = (const IMAGE_DOS_HEADER *)view->base;
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew < 0)
        return 0;
    ULONGLONG nt = (ULONGLONG)dos->e_lfanew;
    if (!Holds(view, nt, 4 + sizeof(IMAGE_FILE_HEADER) + sizeof(WORD)))
        return 0;
    if (*(const DWORD *)(view->base + nt) != IMAGE_NT_SIGNATURE)
        return 0;
    const IMAGE_FILE_HEADER *file = (const IMAGE_FILE_HEADER *)(view->base + nt + 4);
    ULONGLONG optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
    pe->machine = file->Machine;
    pe->characteristics = file->Characteristics;
    pe->magic = *(const WORD *)(view->base + optional);
    pe->sections = optional + file->SizeOfOptionalHeader;
    pe->sectionCount = file->NumberOfSections;
    pe->importRva = 0;
    if (pe->magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC &&
        Holds(view, optional, sizeof(IMAGE_OPTIONAL_HEADER32)) &&
        file->SizeOfOptionalHeader >= sizeof(IMAGE_OPTIONAL_HEADER32)) {
        const IMAGE_OPTIONAL_HEADER32 *h = (const IMAGE_OPTIONAL_HEADER32 *)(view->base + optional);
        if (h->NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_IMPORT)
            pe->importRva = h->DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    } else if (pe->magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC &&
               Holds(view, optional, sizeof(IMAGE_OPTIONAL_HEADER64)) &&
               file->SizeOfOptionalHeader >= sizeof(IMAGE_OPTIONAL_HEADER64)) {
        const IMAGE_OPTIONAL_HEADER64 *h = (const IMAGE_OPTIONAL_HEADER64 *)(view->base + optional);
        if (h->NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_IMPORT)
            pe->importRva = h->DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    } else {
        return 0;
    }
    return Holds(view, pe->sections, (ULONGLONG)pe->sectionCount * sizeof(IMAGE_SECTION_HEADER));
}

// File offset of an address in the loaded image; 0 when no section holds it.
static ULONGLONG RvaToOffset(const FileView *view, const PeHeaders *pe, DWORD rva)
{
    const IMAGE_SECTION_HEADER *section = (const IMAGE_SECTION_HEADER *)(view->base + pe->sections);
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
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name, 7, "api-ms-", 7) == CSTR_EQUAL ||
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name, 7, "ext-ms-", 7) == CSTR_EQUAL;
}

// 1 when the loader would find dll: in the folder of the DLL that imports it,
// or on the process's search path (system folders, Windows folder, PATH).
static int IsOnSearchPath(const wchar_t *folder, const wchar_t *dll)
{
    wchar_t found[MAX_PATH] = {};
    if (folder[0] && SearchPathW(folder, dll, NULL, MAX_PATH, found, NULL))
        return 1;
    return SearchPathW(NULL, dll, NULL, MAX_PATH, found, NULL) != 0;
}

// Names the first imported DLL that cannot be found in missing; 0 when all are found.
static int FindMissingImport(const FileView *view, const PeHeaders *pe, const wchar_t *folder,
                             wchar_t *missing)
{
    if (!pe->importRva)
        return 0;
    ULONGLONG offset = RvaToOffset(view, pe, pe->importRva);
    for (; offset && Holds(view, offset, sizeof(IMAGE_IMPORT_DESCRIPTOR));
         offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const IMAGE_IMPORT_DESCRIPTOR *entry =
            (const IMAGE_IMPORT_DESCRIPTOR *)(view->base + offset);
        if (entry->Name == 0)
            return 0;
        ULONGLONG nameOffset = RvaToOffset(view, pe, entry->Name);
        char name[kDllNameChars] = {};
        int length = 0;
        while (nameOffset && length < kDllNameChars - 1 && Holds(view, nameOffset + length, 1) &&
               view->base[nameOffset + length])
            length++;
        if (length == 0 || length == kDllNameChars - 1)
            continue;
        CopyMemory(name, view->base + nameOffset, length);
        if (IsApiSetName(name))
            continue;
        wchar_t wide[kDllNameChars] = {};
        if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kDllNameChars))
            continue;
        if (!IsOnSearchPath(folder, wide)) {
            CopyText(missing, kDllNameChars, (const wchar_t *)wide);
            return 1;
        }
    }
    return 0;
}

static void FolderOf(const wchar_t *path, wchar_t *folder, size_t cap)
{
    if (!CopyText(folder, cap, path))
        return;
    wchar_t *slash = NULL;
    for (wchar_t *p = folder; *p; p++) {
        if (*p == L'\\' || *p == L'/')
            slash = p;
    }
    if (slash)
        *slash = 0;
    else
        folder[0] = 0;
}

// What the file itself shows; 0 when it looks loadable.
static int DiagnoseFile(const wchar_t *path, wchar_t *reason, size_t cap)
{
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        CopyText(reason, cap, L"文件不存在");
        return 1;
    }
    FileView view;
    PeHeaders pe;
    int opened = OpenView(path, &view);
    if (!opened || !ReadPeHeaders(&view, &pe) || !(pe.characteristics & IMAGE_FILE_DLL)) {
        CloseView(&view);
        CopyText(reason, cap, opened ? L"不是PE格式的DLL" : L"文件无法读取");
        return 1;
    }
    if (pe.machine != kOwnMachine || pe.magic != kOwnMagic) {
        ComposeText(reason, cap,
                    {L"为其他机器编译（", MachineName(pe.machine), L"），本程序只能注册",
                     MachineName(kOwnMachine), L"的DLL"});
        CloseView(&view);
        return 1;
    }
    wchar_t folder[MAX_PATH] = {};
    wchar_t missing[kDllNameChars] = {};
    FolderOf(path, folder, MAX_PATH);
    int found = FindMissingImport(&view, &pe, folder, missing);
    CloseView(&view);
    if (!found)
        return 0;
    ComposeText(reason, cap, {L"找不到它需要的DLL：", (const wchar_t *)missing});
    return 1;
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

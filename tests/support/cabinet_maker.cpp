// Builds cabinets with FCI from cabinet.dll for the tests.
#include "support/cabinet_maker.h"

#include <fci.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

typedef HFCI(DIAMONDAPI *FciCreateFn)(PERF, PFNFCIFILEPLACED, PFNFCIALLOC, PFNFCIFREE, PFNFCIOPEN,
                                      PFNFCIREAD, PFNFCIWRITE, PFNFCICLOSE, PFNFCISEEK,
                                      PFNFCIDELETE, PFNFCIGETTEMPFILE, PCCAB, void *);
typedef BOOL(DIAMONDAPI *FciAddFileFn)(HFCI, char *, char *, BOOL, PFNFCIGETNEXTCABINET,
                                       PFNFCISTATUS, PFNFCIGETOPENINFO, TCOMP);
typedef BOOL(DIAMONDAPI *FciFlushCabinetFn)(HFCI, BOOL, PFNFCIGETNEXTCABINET, PFNFCISTATUS);
typedef BOOL(DIAMONDAPI *FciDestroyFn)(HFCI);

namespace {

struct MakerState {
    std::string dir; // ANSI, ending in a backslash
    std::string partPattern;
    const std::vector<CabEntry> *entries;
    int tempCount;
};

std::string ToAnsi(const std::wstring &text)
{
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, NULL, 0, NULL, NULL);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], n, NULL, NULL);
    out.resize(n > 0 ? n - 1 : 0);
    return out;
}

// Names of the parts of a set; a single cabinet's name has no "%d".
std::string PartName(const std::string &pattern, int part)
{
    char name[CB_MAX_CABINET_NAME] = {};
    snprintf(name, sizeof(name), pattern.c_str(), part);
    return name;
}

FNFCIFILEPLACED(FilePlaced)
{
    return 0;
}
FNFCIALLOC(Alloc)
{
    return malloc(cb);
}
FNFCIFREE(Free)
{
    free(memory);
}
FNFCIOPEN(Open)
{
    int fd = _open(pszFile, oflag, pmode);
    if (fd == -1)
        *err = errno;
    return fd;
}
FNFCIREAD(Read)
{
    return (UINT)_read((int)hf, memory, cb);
}
FNFCIWRITE(Write)
{
    return (UINT)_write((int)hf, memory, cb);
}
FNFCICLOSE(Close)
{
    return _close((int)hf);
}
FNFCISEEK(Seek)
{
    return _lseek((int)hf, dist, seektype);
}
FNFCIDELETE(Delete)
{
    return remove(pszFile);
}
FNFCIGETTEMPFILE(TempFile)
{
    MakerState *state = (MakerState *)pv;
    std::string name = state->dir + "fci" + std::to_string(++state->tempCount) + ".tmp";
    if ((int)name.size() >= cbTempName)
        return FALSE;
    remove(name.c_str());
    lstrcpyA(pszTempName, name.c_str());
    return TRUE;
}
FNFCIGETNEXTCABINET(NextCabinet)
{
    MakerState *state = (MakerState *)pv;
    lstrcpyA(pccab->szCab, PartName(state->partPattern, pccab->iCab).c_str());
    return TRUE;
}
FNFCISTATUS(Status)
{
    return typeStatus == statusCabinet ? (long)cb2 : 0;
}
FNFCIGETOPENINFO(OpenInfo)
{
    MakerState *state = (MakerState *)pv;
    // Source files are named src<index> after their entry.
    const char *base = strrchr(pszName, '\\');
    const CabEntry &entry = (*state->entries)[atoi(base + 4)];
    *pdate = entry.date;
    *ptime = entry.time;
    *pattribs = entry.attributes;
    return Open(pszName, _O_RDONLY | _O_BINARY, 0, err, pv);
}

int Make(const std::wstring &dir, const std::string &pattern, const std::vector<CabEntry> &entries,
         ULONG spanSize, bool compress)
{
    HMODULE cabinet = LoadLibraryW(L"cabinet.dll");
    FciCreateFn create = (FciCreateFn)(void *)GetProcAddress(cabinet, "FCICreate");
    FciAddFileFn addFile = (FciAddFileFn)(void *)GetProcAddress(cabinet, "FCIAddFile");
    FciFlushCabinetFn flush = (FciFlushCabinetFn)(void *)GetProcAddress(cabinet, "FCIFlushCabinet");
    FciDestroyFn destroy = (FciDestroyFn)(void *)GetProcAddress(cabinet, "FCIDestroy");
    if (!create || !addFile || !flush || !destroy)
        return 0;

    MakerState state = {ToAnsi(dir) + "\\", pattern, &entries, 0};
    for (size_t i = 0; i < entries.size(); i++) {
        std::wstring source = dir + L"\\src" + std::to_wstring(i);
        HANDLE file = CreateFileW(source.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD written = 0;
        WriteFile(file, entries[i].bytes.data(), (DWORD)entries[i].bytes.size(), &written, NULL);
        CloseHandle(file);
    }

    CCAB cab = {};
    cab.cb = spanSize ? spanSize : 0x7FFFFFFF;
    cab.cbFolderThresh = 0x7FFFFFFF;
    cab.iCab = 1;
    cab.setID = 0x0A0B;
    lstrcpyA(cab.szCabPath, state.dir.c_str());
    lstrcpyA(cab.szCab, PartName(pattern, 1).c_str());

    ERF error = {};
    HFCI context = create(&error, FilePlaced, Alloc, Free, Open, Read, Write, Close, Seek, Delete,
                          TempFile, &cab, &state);
    if (!context)
        return 0;
    bool ok = true;
    for (size_t i = 0; i < entries.size() && ok; i++) {
        std::string source = state.dir + "src" + std::to_string(i);
        ok = addFile(context, &source[0], (char *)entries[i].storedName.c_str(), FALSE, NextCabinet,
                     Status, OpenInfo, compress ? tcompTYPE_MSZIP : tcompTYPE_NONE) != FALSE;
    }
    ok = ok && flush(context, FALSE, NextCabinet, Status) != FALSE;
    destroy(context);
    for (size_t i = 0; i < entries.size(); i++)
        DeleteFileW((dir + L"\\src" + std::to_wstring(i)).c_str());
    if (!ok)
        return 0;
    if (!spanSize)
        return 1;
    int parts = 0;
    while (GetFileAttributesA((state.dir + PartName(pattern, parts + 1)).c_str()) !=
           INVALID_FILE_ATTRIBUTES)
        parts++;
    return parts;
}

} // namespace

int MakeCabinet(const std::wstring &dir, const std::string &name,
                const std::vector<CabEntry> &entries, bool compress)
{
    return Make(dir, name, entries, 0, compress);
}

int MakeCabinetSet(const std::wstring &dir, const std::string &partPattern,
                   const std::vector<CabEntry> &entries, ULONG spanSize)
{
    return Make(dir, partPattern, entries, spanSize, false);
}

std::string AnsiName(const std::wstring &name)
{
    return ToAnsi(name);
}

std::wstring SystemDrive()
{
    wchar_t dir[MAX_PATH] = {};
    GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(1, dir[0]);
}

std::wstring BaseFolder()
{
    return SystemDrive() + L":\\OrviActiveX";
}

std::wstring FolderOf(const std::wstring &number)
{
    return BaseFolder() + L"\\" + number;
}

std::wstring ReportedFolder(const std::wstring &number)
{
    return SystemDrive() + L":/OrviActiveX/" + number + L"/";
}

// DLL images made at run time for the failure reasons.
#include "support/pe_maker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stddef.h>
#include <string.h>

namespace {

const DWORD kFileAlignment = 0x200;
const DWORD kSectionAlignment = 0x1000;
const DWORD kNtAt = 0x40;

WORD OwnMagic()
{
    return sizeof(void *) == 8 ? IMAGE_NT_OPTIONAL_HDR64_MAGIC : IMAGE_NT_OPTIONAL_HDR32_MAGIC;
}

DWORD Align(size_t value, DWORD alignment)
{
    return (DWORD)((value + alignment - 1) / alignment * alignment);
}

template <typename T>
void Put(std::string &bytes, size_t at, const T &value)
{
    if (bytes.size() < at + sizeof(T))
        bytes.resize(at + sizeof(T));
    memcpy(&bytes[at], &value, sizeof(T));
}

// The import section: entries, one empty thunk they all share, the names.
// Returns its bytes; *directory and *directorySize give the directory's place.
std::string ImportSection(const PeLayout &layout, DWORD sectionRva, size_t room, DWORD *directory,
                          DWORD *directorySize)
{
    std::string data;
    const size_t entry = sizeof(IMAGE_IMPORT_DESCRIPTOR);
    if (layout.fileSize) {
        // The name, one function that no DLL has and the thunk naming it
        // first, then entries to the end: the loader gives up at the first.
        std::string name = layout.imports.empty() ? "kernel32.dll" : layout.imports[0];
        data = name;
        data.resize(Align(name.size() + 1, 16), '\0');
        size_t function = data.size();
        data += std::string("\0\0OrviImportedFunction\0", 24);
        size_t thunk = data.size();
        data.resize(thunk + 16, '\0');
        Put(data, thunk, (ULONGLONG)(sectionRva + function));
        size_t at = data.size();
        *directory = sectionRva + (DWORD)at;
        size_t count = room > at ? (room - at) / entry : 0;
        data.resize(at + count * entry, '\0');
        IMAGE_IMPORT_DESCRIPTOR d = {};
        d.Name = sectionRva;
        d.FirstThunk = sectionRva + (DWORD)thunk;
        for (size_t i = 0; i < count; i++)
            Put(data, at + i * entry, d);
        *directorySize = (DWORD)(count * entry);
        return data;
    }
    // Each import asks for one function by name, so the loader must find its DLL.
    size_t entries = (layout.imports.size() + 1) * entry;
    size_t function = entries;
    std::string hintName("\0\0OrviImportedFunction\0", 24);
    size_t thunks = Align(function + hintName.size(), 16);
    size_t thunkSize = 2 * sizeof(ULONGLONG);
    size_t names = thunks + layout.imports.size() * thunkSize;
    data.resize(names, '\0');
    data.replace(function, hintName.size(), hintName);
    *directory = sectionRva;
    *directorySize = (DWORD)entries;
    bool wide = (layout.magic ? layout.magic : OwnMagic()) == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    for (size_t i = 0; i < layout.imports.size(); i++) {
        size_t thunk = thunks + i * thunkSize;
        if (wide)
            Put(data, thunk, (ULONGLONG)(sectionRva + function));
        else
            Put(data, thunk, (DWORD)(sectionRva + function));
        IMAGE_IMPORT_DESCRIPTOR d = {};
        d.Name = sectionRva + (DWORD)data.size();
        d.FirstThunk = sectionRva + (DWORD)thunk;
        Put(data, i * entry, d);
        data += layout.imports[i];
        data += '\0';
    }
    return data;
}

template <typename Optional>
void PutOptional(std::string &bytes, size_t at, const PeLayout &layout, WORD magic, ULONGLONG base,
                 DWORD imageSize, DWORD headersSize, DWORD directory, DWORD directorySize)
{
    Optional h = {};
    h.Magic = magic;
    h.SectionAlignment = kSectionAlignment;
    h.FileAlignment = kFileAlignment;
    h.ImageBase = (decltype(h.ImageBase))base;
    h.MajorOperatingSystemVersion = 5;
    h.MajorSubsystemVersion = 5;
    h.SizeOfImage = imageSize;
    h.SizeOfHeaders = headersSize;
    h.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_GUI;
    h.SizeOfStackReserve = 0x100000;
    h.SizeOfStackCommit = 0x1000;
    h.SizeOfHeapReserve = 0x100000;
    h.SizeOfHeapCommit = 0x1000;
    size_t size = layout.optionalSize ? layout.optionalSize : sizeof(Optional);
    size_t fixed = offsetof(Optional, DataDirectory);
    h.NumberOfRvaAndSizes = (DWORD)std::min<size_t>(16, size > fixed ? (size - fixed) / 8 : 0);
    h.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress = directory;
    h.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].Size = directorySize;
    std::string full(sizeof(h), '\0');
    memcpy(&full[0], &h, sizeof(h));
    full.resize(size, '\0');
    bytes.replace(at, size, full);
}

} // namespace

std::string MakePeDll(const PeLayout &layout)
{
#if defined(__x86_64__) || defined(_M_X64)
    const WORD ownMachine = IMAGE_FILE_MACHINE_AMD64;
#else
    const WORD ownMachine = IMAGE_FILE_MACHINE_I386;
#endif
    WORD machine = layout.machine ? layout.machine : ownMachine;
    WORD magic = layout.magic ? layout.magic : OwnMagic();
    bool wide = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    WORD optionalSize = layout.optionalSize ? layout.optionalSize
                                            : (WORD)(wide ? sizeof(IMAGE_OPTIONAL_HEADER64)
                                                          : sizeof(IMAGE_OPTIONAL_HEADER32));
    DWORD sections = 1 + layout.sectionsBefore + layout.extraSections;
    size_t table = kNtAt + 4 + sizeof(IMAGE_FILE_HEADER) + optionalSize;
    DWORD headersSize = Align(table + sections * sizeof(IMAGE_SECTION_HEADER), kFileAlignment);
    DWORD sectionRva = Align(headersSize, kSectionAlignment);
    size_t room = layout.fileSize > headersSize ? layout.fileSize - headersSize : 0;
    DWORD directory = 0, directorySize = 0;
    std::string data = ImportSection(layout, sectionRva, room, &directory, &directorySize);
    if (layout.directorySize)
        directorySize = layout.directorySize;
    DWORD rawSize = layout.fileSize ? (DWORD)data.size() : Align(data.size(), kFileAlignment);
    DWORD imageSize = Align(sectionRva + data.size(), kSectionAlignment);

    std::string bytes(headersSize, '\0');
    IMAGE_DOS_HEADER dos = {};
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_lfanew = kNtAt;
    Put(bytes, 0, dos);
    Put(bytes, kNtAt, (DWORD)IMAGE_NT_SIGNATURE);
    IMAGE_FILE_HEADER file = {};
    file.Machine = machine;
    file.NumberOfSections = (WORD)sections;
    file.SizeOfOptionalHeader = optionalSize;
    file.Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_DLL |
                           (wide ? IMAGE_FILE_LARGE_ADDRESS_AWARE : IMAGE_FILE_32BIT_MACHINE);
    Put(bytes, kNtAt + 4, file);
    size_t optional = kNtAt + 4 + sizeof(IMAGE_FILE_HEADER);
    if (wide)
        PutOptional<IMAGE_OPTIONAL_HEADER64>(bytes, optional, layout, magic, 0x180000000ULL,
                                             imageSize, headersSize, directory, directorySize);
    else
        PutOptional<IMAGE_OPTIONAL_HEADER32>(bytes, optional, layout, magic, 0x10000000ULL,
                                             imageSize, headersSize, directory, directorySize);
    IMAGE_SECTION_HEADER section = {};
    memcpy(section.Name, ".idata", 6);
    section.Misc.VirtualSize = (DWORD)data.size();
    section.VirtualAddress = sectionRva;
    section.SizeOfRawData = rawSize;
    section.PointerToRawData = headersSize;
    section.Characteristics = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ;
    // The others hold nothing, past the end of the image.
    IMAGE_SECTION_HEADER empty = {};
    memcpy(empty.Name, ".empty", 6);
    empty.VirtualAddress = imageSize;
    empty.Characteristics = IMAGE_SCN_CNT_UNINITIALIZED_DATA | IMAGE_SCN_MEM_READ;
    for (DWORD i = 0; i < sections; i++)
        Put(bytes, table + i * sizeof(IMAGE_SECTION_HEADER),
            i == layout.sectionsBefore ? section : empty);
    bytes.resize(headersSize, '\0');
    data.resize(rawSize, '\0');
    return bytes + data;
}

std::string ReplaceBytes(std::string bytes, const std::string &from, const std::string &to)
{
    size_t at = bytes.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    EXPECT_EQ(from.size(), to.size());
    if (at != std::string::npos && from.size() == to.size())
        bytes.replace(at, from.size(), to);
    return bytes;
}

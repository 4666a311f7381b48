// Whose a type library is. The removal's passes find a control's interfaces
// and type libraries by a GUID tail, which the system's and other products'
// GUIDs may share; a key is taken only when its library is the control's.
#include "controls/controls.h"

#include "base/guid_text.h"
#include "base/text.h"

// path as the comparison takes it, in normal (kLibraryPathSize): environment
// references expanded when expand is set, surrounding quotes dropped, and the
// long form where the file exists. 0 when it does not fit.
static int NormalizePath(const wchar_t *path, int expand, wchar_t *normal)
{
    wchar_t expanded[kLibraryPathSize] = {};
    if (expand) {
        DWORD needed = ExpandEnvironmentStringsW(path, expanded, kLibraryPathSize);
        if (needed == 0 || needed > (DWORD)kLibraryPathSize)
            return 0;
        path = expanded;
    }
    wchar_t bare[kLibraryPathSize] = {};
    size_t length = TextLength(path);
    int quoted = length >= 2 && path[0] == L'"' && path[length - 1] == L'"';
    if (!CopyText(bare, kLibraryPathSize, quoted ? path + 1 : path))
        return 0;
    if (quoted)
        bare[length - 2] = 0;
    DWORD got = GetLongPathNameW(bare, normal, kLibraryPathSize);
    if (got == 0)
        return CopyText(normal, kLibraryPathSize, (const wchar_t *)bare);
    if (got >= (DWORD)kLibraryPathSize) {
        normal[0] = 0;
        return 0;
    }
    return 1;
}

// "ctl.ocx\2": a type library embedded in the server file as its resource 2.
static int IsResourceOf(const wchar_t *file, const wchar_t *server)
{
    size_t folder = FolderPartLength(file);
    if (folder <= 1 || !file[folder])
        return 0;
    for (size_t i = folder; file[i]; i++) {
        if (file[i] < L'0' || file[i] > L'9')
            return 0;
    }
    wchar_t container[kLibraryPathSize] = {};
    wchar_t normal[kLibraryPathSize] = {};
    if (!CopyText(container, kLibraryPathSize, file))
        return 0;
    container[folder - 1] = 0;
    return NormalizePath(container, 0, normal) && SameName(normal, server);
}

// The server file itself, a resource of it, or a .tlb file in its folder.
static int IsControlsFile(const wchar_t *file, const wchar_t *server)
{
    if (!server[0])
        return 0;
    if (SameName(file, server))
        return 1;
    wchar_t folder[kLibraryPathSize] = {};
    size_t folderLength = FolderPartLength(server);
    size_t length = TextLength(file);
    if (folderLength > 1 && length >= folderLength + 4 && FolderPartLength(file) == folderLength &&
        CopyText(folder, kLibraryPathSize, server)) {
        folder[folderLength] = 0;
        if (StartsWithIgnoringCase(file, (const wchar_t *)folder) &&
            SameName(file + length - 4, L".tlb"))
            return 1;
    }
    return IsResourceOf(file, server);
}

// The file a platform key (win32, win64) names, normalized; 0 when its value
// cannot be read whole as a string.
static int ReadRegisteredFile(HKEY platform, wchar_t *file)
{
    wchar_t raw[kLibraryPathSize] = {};
    DWORD type = REG_NONE;
    // One character short of the buffer, so an unterminated value still ends.
    DWORD size = (kLibraryPathSize - 1) * sizeof(wchar_t);
    if (RegQueryValueExW(platform, NULL, NULL, &type, (BYTE *)raw, &size) != ERROR_SUCCESS)
        return 0;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size % sizeof(wchar_t) != 0)
        return 0;
    return NormalizePath(raw, type == REG_EXPAND_SZ, file);
}

// 1 when every registration below key names the control's file; depth counts
// the levels above the platform keys (<version>\<lcid>\<platform>: 2).
static int RegistrationsAreTheControls(HKEY key, int depth, const wchar_t *server)
{
    for (DWORD index = 0;; index++) {
        wchar_t name[kKeyNameSize] = {};
        DWORD size = kKeyNameSize;
        LSTATUS status = RegEnumKeyExW(key, index, name, &size, NULL, NULL, NULL, NULL);
        if (status == ERROR_NO_MORE_ITEMS)
            return 1;
        HKEY subkey;
        if (status != ERROR_SUCCESS ||
            RegOpenKeyExW(key, name, 0, KEY_READ, &subkey) != ERROR_SUCCESS)
            return 0;
        wchar_t file[kLibraryPathSize] = {};
        int owned = depth > 0 ? RegistrationsAreTheControls(subkey, depth - 1, server)
                              : ReadRegisteredFile(subkey, file) && IsControlsFile(file, server);
        RegCloseKey(subkey);
        if (!owned)
            return 0;
    }
}

int TypeLibraryIsTheControls(const wchar_t *guid, const wchar_t *serverPath, REGSAM view)
{
    // The OLE range is the system's whatever its registrations say; a text
    // with a backslash names no single library.
    if (!guid[0] || GuidInOleRange(guid) || HoldsCharacter(guid, L'\\'))
        return 0;
    wchar_t path[kRemovalKeyPathSize] = {};
    if (!ComposeText(path, kRemovalKeyPathSize, {L"TypeLib\\", guid}))
        return 0;
    HKEY library;
    LSTATUS status = OpenClassesKey(path, view, &library);
    if (status == ERROR_FILE_NOT_FOUND)
        return 1;
    if (status != ERROR_SUCCESS)
        return 0;
    wchar_t server[kLibraryPathSize] = {};
    if (serverPath[0] && !NormalizePath(serverPath, 0, server))
        server[0] = 0;
    int owned = RegistrationsAreTheControls(library, 2, server);
    RegCloseKey(library);
    return owned;
}

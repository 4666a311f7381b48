// The tool's own folders: the base at the root of the system drive, and the
// protected folders made in it (extraction folders and removal records).
#include "register/register.h"

#include "base/text.h"

#include <aclapi.h>
#include <sddl.h>

// Administrators and SYSTEM full control, Users read and execute, nothing
// inherited: a base folder that others may write to gives the folders made in
// it nothing, so no one else can plant or swap a file the tool then acts on.
static const wchar_t kFolderSecurity[] =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
// The same, owned by the administrators: what an existing base folder is given.
static const wchar_t kOwnedFolderSecurity[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Rights by which someone could put, swap or remove what a folder holds.
static const DWORD kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                     FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE |
                                     WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

int ComposeToolFolder(wchar_t *path, size_t cap, const wchar_t *separator)
{
    wchar_t systemDir[MAX_PATH] = {};
    UINT n = GetSystemDirectoryW(systemDir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 0;
    wchar_t drive[] = {systemDir[0], L':', 0};
    return ComposeText(path, cap, {(const wchar_t *)drive, separator, L"OrviActiveX", separator});
}

int CreateProtectedFolder(const wchar_t *path)
{
    SECURITY_ATTRIBUTES security = {sizeof(security), NULL, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderSecurity, SDDL_REVISION_1,
                                                              &security.lpSecurityDescriptor, NULL))
        return 0;
    BOOL created = CreateDirectoryW(path, &security);
    DWORD error = GetLastError();
    LocalFree(security.lpSecurityDescriptor);
    SetLastError(error);
    return created != 0;
}

// Characters of the drive ("C:\") or share ("\\server\share\") a path starts with.
static size_t RootLength(const wchar_t *path)
{
    if (path[0] && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/'))
        return 3;
    if (path[0] != L'\\' || path[1] != L'\\')
        return 0;
    size_t i = 2;
    for (int separators = 0; path[i]; i++) {
        if (path[i] == L'\\' && ++separators == 2)
            return i + 1;
    }
    return i;
}

int PathHasReparsePoint(const wchar_t *path)
{
    static wchar_t part[kServerPathSize];
    if (!CopyText(part, kServerPathSize, path))
        return 1;
    size_t length = TextLength(part);
    for (size_t i = RootLength(part) + 1; i <= length; i++) {
        wchar_t c = part[i];
        if (i < length && c != L'\\' && c != L'/')
            continue;
        part[i] = 0;
        DWORD attributes = GetFileAttributesW(part);
        part[i] = c;
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return 0;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return 1;
    }
    return 0;
}

// This process's user, looked up once; NULL when it cannot be read.
static PSID ProcessUser()
{
    static BYTE buffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    static int looked;
    static PSID user;
    if (looked)
        return user;
    looked = 1;
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return NULL;
    DWORD needed = 0;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &needed))
        user = ((TOKEN_USER *)buffer)->User.Sid;
    CloseHandle(token);
    return user;
}

static int IsTrustedSid(PSID sid, PSID user)
{
    return IsWellKnownSid(sid, WinLocalSystemSid) ||
           IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || (user && EqualSid(sid, user));
}

// Every entry that grants anything must grant the changing rights only to
// the trusted; an entry of a kind not looked into counts against the folder.
static int DaclKeepsOthersOut(PACL dacl, PSID user)
{
    for (DWORD i = 0; i < dacl->AceCount; i++) {
        ACE_HEADER *header = NULL;
        if (!GetAce(dacl, i, (void **)&header))
            return 0;
        if ((header->AceFlags & INHERIT_ONLY_ACE) || header->AceType == ACCESS_DENIED_ACE_TYPE)
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            return 0;
        ACCESS_ALLOWED_ACE *allowed = (ACCESS_ALLOWED_ACE *)header;
        if ((allowed->Mask & kChangingRights) && !IsTrustedSid(&allowed->SidStart, user))
            return 0;
    }
    return 1;
}

// 1 when the object behind handle is owned by SYSTEM, the administrators or
// this process's user.
static int HasTrustedOwner(HANDLE handle)
{
    PSID owner = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, NULL, NULL,
                        NULL, &descriptor) != ERROR_SUCCESS)
        return 0;
    int trusted = owner && IsTrustedSid(owner, ProcessUser());
    LocalFree(descriptor);
    return trusted;
}

// Gives the object behind handle the administrators as owner and the
// protected DACL.
static int Protect(HANDLE handle)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kOwnedFolderSecurity, SDDL_REVISION_1,
                                                              &descriptor, NULL))
        return 0;
    PSID owner = NULL;
    PACL dacl = NULL;
    BOOL defaulted = FALSE, present = FALSE;
    int set = GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) &&
              GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && owner && dacl &&
              SetSecurityInfo(handle, SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                  PROTECTED_DACL_SECURITY_INFORMATION,
                              owner, NULL, dacl, NULL) == ERROR_SUCCESS;
    LocalFree(descriptor);
    return set;
}

HANDLE HoldBaseFolder(int change)
{
    wchar_t path[MAX_PATH] = {};
    if (!ComposeToolFolder(path, MAX_PATH, L"\\"))
        return INVALID_HANDLE_VALUE;
    path[TextLength(path) - 1] = 0;
    if (change && !CreateProtectedFolder(path) && GetLastError() != ERROR_ALREADY_EXISTS)
        return INVALID_HANDLE_VALUE;
    // Listing is a data access: without one the sharing is not checked, and
    // the folder could be renamed while held.
    DWORD access =
        FILE_LIST_DIRECTORY | READ_CONTROL | SYNCHRONIZE | (change ? WRITE_DAC | WRITE_OWNER : 0);
    HANDLE folder =
        CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info = {};
    int usable = GetFileInformationByHandle(folder, &info) &&
                 (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                 !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                 (!change || IsProtectedObject(folder) ||
                  (HasTrustedOwner(folder) && Protect(folder) && IsProtectedObject(folder)));
    if (usable)
        return folder;
    CloseHandle(folder);
    return INVALID_HANDLE_VALUE;
}

int IsProtectedObject(HANDLE handle)
{
    PSID user = ProcessUser();
    PSID owner = NULL;
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, NULL, &dacl,
                        NULL, &descriptor) != ERROR_SUCCESS)
        return 0;
    // No DACL at all lets everybody in.
    int kept = owner && dacl && IsTrustedSid(owner, user) && DaclKeepsOthersOut(dacl, user);
    LocalFree(descriptor);
    return kept;
}

// Redirection of this program's own imports, for counting and recording what
// the tool's code (linked into the test program) calls.
#include "support/test_support.h"

// Replaces the import of function from dll in this program's import table;
// returns the real function.
void *RedirectImport(const char *dll, const char *function, void *wrapper)
{
    BYTE *base = (BYTE *)GetModuleHandleW(NULL);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    void *target = (void *)GetProcAddress(LoadLibraryA(dll), function);
    for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress);
         d->Name; d++) {
        if (lstrcmpiA((const char *)(base + d->Name), dll) != 0)
            continue;
        for (IMAGE_THUNK_DATA *t = (IMAGE_THUNK_DATA *)(base + d->FirstThunk); t->u1.Function;
             t++) {
            if ((void *)t->u1.Function != target)
                continue;
            DWORD old;
            VirtualProtect(&t->u1.Function, sizeof(t->u1.Function), PAGE_READWRITE, &old);
            t->u1.Function = (ULONG_PTR)wrapper;
            VirtualProtect(&t->u1.Function, sizeof(t->u1.Function), old, &old);
        }
    }
    return target;
}

// The file kinds a drop, a cabinet's registration and orvictl tell apart: by
// the last four characters, lower case only, compared case-sensitively.
#pragma once

#include "base/text.h"

inline int IsControlFileName(const wchar_t *name)
{
    return HasEnding(name, L".ocx") || HasEnding(name, L".dll");
}

// The lower-case control ending (".ocx" or ".dll") that name ends in, in any
// letter case: a cabinet's ".OCX" or ".Dll" file is reported as not
// registered. NULL for any other name.
inline const wchar_t *ControlEndingIgnoringCase(const wchar_t *name)
{
    size_t n = TextLength(name);
    if (n < 4)
        return NULL;
    wchar_t ending[5] = {};
    for (size_t i = 0; i < 4; i++) {
        wchar_t c = name[n - 4 + i];
        ending[i] = c >= L'A' && c <= L'Z' ? (wchar_t)(c + 32) : c;
    }
    if (HasEnding((const wchar_t *)ending, L".ocx"))
        return L".ocx";
    return HasEnding((const wchar_t *)ending, L".dll") ? L".dll" : NULL;
}

inline int IsCabinetFileName(const wchar_t *name)
{
    return HasEnding(name, L".cab");
}

// The file kinds a drop, a cabinet's registration and orvictl tell apart: by
// the last four characters, lower case only, compared case-sensitively.
#pragma once

#include "base/text.h"

inline int IsControlFileName(const wchar_t *name)
{
    return HasEnding(name, L".ocx") || HasEnding(name, L".dll");
}

inline int IsCabinetFileName(const wchar_t *name)
{
    return HasEnding(name, L".cab");
}

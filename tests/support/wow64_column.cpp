// The one IsWow64 double of the tests. A test program that calls
// UseWow64Column links this file, and the linker then leaves out the tool's
// own IsWow64 (controls/wow64.cpp stands alone for that). The answer is the
// platform's own unless a test asks for the column the process cannot show
// for real: the nonzero one in a 64-bit process, the zero one in a 32-bit
// process on 64-bit Windows. The tool's own IsWow64 is tested in wow64_test.cpp.
#include "support/test_support.h"

#include "controls/controls.h"

// -1: the platform answers.
static int g_forcedWow64 = -1;

bool ProcessIsWow64()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool UseWow64Column(bool nonzero)
{
    g_forcedWow64 = nonzero == ProcessIsWow64() ? -1 : (nonzero ? 1 : 0);
    return g_forcedWow64 < 0;
}

BOOL IsWow64()
{
    if (g_forcedWow64 >= 0)
        return g_forcedWow64;
    return ProcessIsWow64();
}

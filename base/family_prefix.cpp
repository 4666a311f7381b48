#include "base/family_prefix.h"

// Tested in this order.
static const char *const kFamilyPrefixes[] = {"ORVI.", "PDF.O", "Orvi.", "VY.Of"};
static const int kPrefixLength = 5;

// Compares as if the name were cut after its fifth byte: a name that ends
// earlier differs at its terminator.
static int StartsWithPrefix(const char *name, const char *prefix)
{
    for (int i = 0; i < kPrefixLength; i++) {
        if (name[i] != prefix[i])
            return 0;
    }
    return 1;
}

int HasFamilyPrefix(const char *ansiName)
{
    for (const char *prefix : kFamilyPrefixes) {
        if (StartsWithPrefix(ansiName, prefix))
            return 1;
    }
    return 0;
}

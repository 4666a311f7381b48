#include "base/family_prefix.h"

#include "base/text.h"

// Tested in this order.
static const char *const kFamilyPrefixes[] = {"ORVI.", "PDF.O", "Orvi.", "VY.Of"};

int HasFamilyPrefix(const char *ansiName)
{
    for (const char *prefix : kFamilyPrefixes) {
        if (StartsWithChars(ansiName, prefix, kFamilyPrefixLength))
            return 1;
    }
    return 0;
}

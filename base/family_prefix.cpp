#include "base/family_prefix.h"

#include "base/text.h"

// Tested in this order.
static const char *const kFamilyPrefixes[] = {"ORVI.", "PDF.O", "Orvi.", "VY.Of"};
static const int kPrefixLength = 5;

int HasFamilyPrefix(const char *ansiName)
{
    for (const char *prefix : kFamilyPrefixes) {
        if (StartsWithChars(ansiName, prefix, kPrefixLength))
            return 1;
    }
    return 0;
}

// The family's ProgID prefixes. Free of the Windows headers so the test can
// also be built natively.
#pragma once

// Every family prefix is this many ASCII characters.
const int kFamilyPrefixLength = 5;

// 1 when the first five bytes of an ANSI key name are exactly one of the
// family prefixes ("ORVI.", "PDF.O", "Orvi.", "VY.Of", compared
// case-sensitively); a name of fewer than five bytes never qualifies.
int HasFamilyPrefix(const char *ansiName);

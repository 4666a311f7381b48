// GUID texts in registry form ("{" 8-4-4-4-12 "}") as the removal compares
// them. Free of the Windows headers so the test can also be built natively.
#pragma once

// 1 when name and reference are equal from their 11th character to their
// ends (case-sensitive); the brace, the first group and its hyphen do not
// take part. A text of fewer than 11 characters never matches.
int GuidTailsMatch(const wchar_t *name, const wchar_t *reference);

// 1 when text's tail from its 10th character is the system's OLE range,
// "-0000-0000-C000-000000000046}", in any letter case: the GUIDs of IUnknown,
// IDispatch, the OLE Automation type library (stdole) and their kin.
int GuidInOleRange(const wchar_t *text);

// Some controls register their type library with the third GUID group in
// upper case: when progId begins with one of those controls' seven-character
// stems, the lower-case hex letters a..f at the stem's positions (counted
// from 1) become upper case. Every other character stays as it is.
void AdjustReferenceCase(const wchar_t *progId, wchar_t *reference);

// Which names stored in a cabinet may be written into the extraction folder.
#include "base/stored_name.h"

#include <gtest/gtest.h>

namespace {

// Lead bytes of code page 936 (GBK); the tool asks the platform about the
// ANSI code page instead.
int IsGbkLeadByte(unsigned char byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}

int IsPlain(const char *name)
{
    return IsPlainStoredName(name, IsGbkLeadByte);
}

} // namespace

TEST(StoredName, OnlyPlainNamesStayInTheFolder)
{
    for (const char *name :
         {"a.txt", "testctl.ocx", "a..b", ".hidden", "CONFIG.SYS", "COM10", "nul2.txt", "x y"})
        EXPECT_EQ(IsPlain(name), 1) << name;
    for (const char *name :
         {"",      ".",   "..",       "...", ". .",     "a\\b", "a/b",  "\\a",      "/a",
          "..\\a", "C:a", "a:stream", "CON", "con.txt", "Nul ", "COM1", "lpt9.log", "CONOUT$",
          "a*b",   "a?b", "a\"b",     "a<b", "a>b",     "a|b",  "a\rb", "a\nb",     "\t"})
        EXPECT_EQ(IsPlain(name), 0) << name;
}

TEST(StoredName, DoubleByteCharactersAreTakenWhole)
{
    // "中文.txt" in code page 936.
    EXPECT_EQ(IsPlain("\xd6\xd0\xce\xc4.txt"), 1);
    // Second bytes that look like a backslash or a bar: "淺" is 9C 5C, "東" 96 7C.
    EXPECT_EQ(IsPlain("\x9c\x5c.txt"), 1);
    EXPECT_EQ(IsPlain("a\x96\x7c.ocx"), 1);
    EXPECT_EQ(IsPlain("\x81\x5c\x81\x7c"), 1);
    EXPECT_EQ(IsPlain("\x7f\xff"), 1);
    // The same bytes outside a double-byte character are separators.
    EXPECT_EQ(IsPlainStoredName("\x9c\x5c.txt", [](unsigned char) { return 0; }), 0);
    EXPECT_EQ(IsPlain("\x9c\x5c\x5c.txt"), 0);
    EXPECT_EQ(IsPlain("a\x7c\x96.txt"), 0);
    // A lead byte never hides what no code page has as a second byte.
    for (const char *name :
         {"\x81/a", "\x81:a", "\x81\x01", "\x81*", "\x81?", "\x81\"", "\x81<", "\x81>"})
        EXPECT_EQ(IsPlain(name), 0) << name;
    // A lead byte at the end stands alone.
    EXPECT_EQ(IsPlain("a\x81"), 1);
    EXPECT_EQ(IsPlain("\x81"), 1);
    // Device names are found as before.
    EXPECT_EQ(IsPlain("CON.\x9c\x5c"), 0);
}

TEST(StoredName, DeviceNamesAreRecognisedOnlyAsAWholeBaseName)
{
    for (const char *name : {"aux.tar.gz", "PRN", "CONIN$", "com0", "LPT1.txt", "NUL   .x"})
        EXPECT_EQ(IsPlain(name), 0) << name;
    for (const char *name : {"CONSOLE", "CON1", "COMA", "LPT", "xnul", "LPT10.txt", "CONOUT$$"})
        EXPECT_EQ(IsPlain(name), 1) << name;
}

// The file system sees the Unicode name the ANSI name converts to, where the
// superscript digits make device names too. The Wine suite cannot show this
// with a cabinet: its ANSI code page, 936, has no superscript digits.
TEST(StoredName, SuperscriptDeviceNamesAreSeenInTheUnicodeName)
{
    for (const wchar_t *name : {L"COM\u00b9", L"com\u00b2.ocx", L"COM\u00b3 ", L"LPT\u00b9.txt",
                                L"lpt\u00b2", L"LPT\u00b3.dll", L"CON", L"nul.txt", L"COM7"})
        EXPECT_EQ(IsDeviceStoredName(name), 1) << name;
    for (const wchar_t *name : {L"COM\u2074", L"LPT\u2070", L"COM\u00b9\u00b9", L"COM\u00bd",
                                L"\u00b9COM", L"CON1", L"a.txt", L"\u4e2d\u6587.ocx", L""})
        EXPECT_EQ(IsDeviceStoredName(name), 0) << name;
}

// Which names stored in a cabinet may be written into the extraction folder.
#include "register/stored_name.h"

#include <gtest/gtest.h>

TEST(StoredName, OnlyPlainNamesStayInTheFolder)
{
    for (const char *name : {"a.txt", "testctl.ocx", "a..b", ".hidden", "CONFIG.SYS", "COM10", "nul2.txt", "x y"})
        EXPECT_EQ(IsPlainStoredName(name), 1) << name;
    for (const char *name : {"", ".", "..", "...", ". .", "a\\b", "a/b", "\\a", "/a", "..\\a", "C:a", "a:stream",
                             "CON", "con.txt", "Nul ", "COM1", "lpt9.log", "CONOUT$", "a*b", "a?b", "a\"b", "a<b",
                             "a>b", "a|b", "a\rb", "a\nb", "\t"})
        EXPECT_EQ(IsPlainStoredName(name), 0) << name;
}

TEST(StoredName, DoubleByteNamesPassUnlessATrailByteLooksLikeASeparator)
{
    // "中文.txt" in code page 936.
    EXPECT_EQ(IsPlainStoredName("\xd6\xd0\xce\xc4.txt"), 1);
    // A character whose trail byte is 0x5C ('\\') is refused, on the safe side.
    EXPECT_EQ(IsPlainStoredName("\x81\x5c.txt"), 0);
    EXPECT_EQ(IsPlainStoredName("\x7f\xff"), 1);
}

TEST(StoredName, DeviceNamesAreRecognisedOnlyAsAWholeBaseName)
{
    for (const char *name : {"aux.tar.gz", "PRN", "CONIN$", "com0", "LPT1.txt", "NUL   .x"})
        EXPECT_EQ(IsPlainStoredName(name), 0) << name;
    for (const char *name : {"CONSOLE", "CON1", "COMA", "LPT", "xnul", "LPT10.txt", "CONOUT$$"})
        EXPECT_EQ(IsPlainStoredName(name), 1) << name;
}

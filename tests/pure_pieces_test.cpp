// The Windows-free pieces' own tests, built here with the platform's compiler
// and run on the platform too (16-bit wchar_t, the ANSI code page's bytes);
// tests/native builds the same files for Linux with the sanitizers.
#include "native/cabinet_report_test.cpp"
#include "native/family_text_test.cpp"
#include "native/stored_name_test.cpp"
#include "native/text_test.cpp"

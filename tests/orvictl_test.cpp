// orvictl.exe end to end: the program runs as a child process with its
// output in a pipe, on the real registry with real regsvr32.exe and the test
// COM server; exit codes, output lines and the reasons of failures.
#include "support/cabinet_maker.h"
#include "support/pe_maker.h"
#include "support/record_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <string>

struct Outcome {
    DWORD code;
    std::wstring out; // stdout, decoded from UTF-8
};

static std::wstring FromUtf8(const std::string &bytes)
{
    if (bytes.empty())
        return L"";
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), (int)bytes.size(),
                                NULL, 0);
    EXPECT_GT(n, 0) << "output is not UTF-8";
    std::wstring text(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), (int)bytes.size(), &text[0], n);
    return text;
}

// Runs the orvictl.exe at program with arguments; its stdout and stderr go
// to a pipe that is read to the end.
static Outcome RunOrvictlAt(const std::wstring &program, const std::wstring &arguments,
                            HANDLE token = NULL, Caller = {})
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    HANDLE readEnd, writeEnd;
    EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring line = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    Outcome run = {(DWORD)-1, L""};
    // Wine under heavy load has once failed to start a process at all (CI,
    // both suites side by side): a start is tried three times, so that such a
    // hiccup is not taken for orvictl's fault; the errors show when all fail.
    BOOL started = FALSE;
    std::wstring errors;
    for (int attempt = 0; attempt < 3 && !started; attempt++) {
        if (attempt)
            Sleep(500);
        started = token ? CreateProcessAsUserW(token, program.c_str(), &line[0], NULL, NULL, TRUE,
                                               CREATE_NO_WINDOW, NULL, NULL, &startup, &process)
                        : CreateProcessW(program.c_str(), &line[0], NULL, NULL, TRUE,
                                         CREATE_NO_WINDOW, NULL, NULL, &startup, &process);
        if (!started)
            errors += L" " + std::to_wstring(GetLastError());
    }
    CloseHandle(writeEnd);
    EXPECT_TRUE(started) << "orvictl.exe did not start, errors:" << errors;
    if (!errors.empty())
        printf("orvictl.exe started only after failures, errors:%ls\n", errors.c_str());
    std::string bytes;
    char buffer[4096];
    DWORD got;
    while (ReadFile(readEnd, buffer, sizeof(buffer), &got, NULL) && got)
        bytes.append(buffer, got);
    CloseHandle(readEnd);
    if (!started)
        return run;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    run.out = FromUtf8(bytes);
    return run;
}

// Runs the orvictl.exe built beside the test programs.
static Outcome RunOrvictl(const std::wstring &arguments, HANDLE token = NULL, Caller = {})
{
    return RunOrvictlAt(TestProgramDir() + L"\\orvictl.exe", arguments, token);
}

static bool Holds(const std::wstring &text, const std::wstring &part)
{
    return text.find(part) != std::wstring::npos;
}

// Replaces the first occurrence of from (same length) in a file's bytes.
static void PatchBytes(const std::wstring &path, const std::string &from, const std::string &to,
                       Caller = {})
{
    std::string bytes = ReadFileBytes(path);
    size_t at = bytes.find(from);
    ASSERT_NE(std::string::npos, at) << from;
    ASSERT_EQ(from.size(), to.size());
    bytes.replace(at, from.size(), to);
    WriteFileBytes(path, bytes);
}

// The text of a JSON string for text without quotes or control characters.
static std::wstring JsonText(const std::wstring &text)
{
    std::wstring escaped;
    for (wchar_t c : text)
        escaped += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
    return escaped;
}

static std::wstring FirstLine(const std::wstring &text)
{
    return text.substr(0, text.find(L"\r\n"));
}

class Orvictl : public SceneTest {
protected:
    Orvictl() : SceneTest(L"orvictl folder")
    {
    }
    void SetUp() override
    {
        SceneTest::SetUp();
        // Each test sees only the removal records it makes.
        RemoveRecords();
    }
    // Writes the DLL layout describes into the scratch folder; returns its path.
    std::wstring WriteDll(const std::wstring &name, const PeLayout &layout)
    {
        std::wstring path = InDir(name);
        WriteFileBytes(path, MakePeDll(layout));
        return path;
    }
};

TEST_F(Orvictl, UsageErrorsAndHelp)
{
    EXPECT_EQ(2u, RunOrvictl(L"").code);
    EXPECT_EQ(2u, RunOrvictl(L"install x.ocx").code);
    EXPECT_EQ(2u, RunOrvictl(L"list --xml").code);
    EXPECT_EQ(2u, RunOrvictl(L"info").code);
    EXPECT_EQ(2u, RunOrvictl(L"uninstall").code);
    EXPECT_EQ(2u, RunOrvictl(L"restore").code);
    EXPECT_EQ(2u, RunOrvictl(L"restore --all").code);
    EXPECT_EQ(2u, RunOrvictl(L"history --xml").code);
    // A word that is no option is an extra argument; an empty name is a missing one.
    for (const wchar_t *extra : {L"list extra", L"history extra"})
        EXPECT_EQ(L"多余的参数：extra\r\n用法见 orvictl help\r\n", RunOrvictl(extra).out) << extra;
    for (const wchar_t *empty : {L"uninstall \"\"", L"info \"\"", L"restore \"\""}) {
        Outcome run = RunOrvictl(empty);
        EXPECT_EQ(2u, run.code) << empty;
        EXPECT_EQ(L"缺少参数：PROGID\r\n用法见 orvictl help\r\n", run.out) << empty;
    }
    // Endings as a drop takes them: lower case only.
    Outcome wrongType = RunOrvictl(L"register \"" + dir + L"\\readme.txt\"");
    EXPECT_EQ(2u, wrongType.code);
    EXPECT_TRUE(Holds(wrongType.out, L"不是.cab、.ocx、.dll文件")) << wrongType.out;
    EXPECT_EQ(2u, RunOrvictl(L"register \"" + dir + L"\\CTL.DLL\"").code);
    for (const wchar_t *help : {L"help", L"--help", L"/?"}) {
        Outcome run = RunOrvictl(help);
        EXPECT_EQ(0u, run.code) << help;
        EXPECT_TRUE(Holds(run.out, L"orvictl uninstall --all")) << run.out;
        EXPECT_TRUE(Holds(run.out, L"orvictl restore PROGID")) << run.out;
    }
}

TEST_F(Orvictl, RegisterListInfoUninstall)
{
    std::wstring path = CopyTestServer(L"My Control.ocx");
    Outcome reg = RunOrvictl(L"register \"" + path + L"\"");
    EXPECT_EQ(0u, reg.code) << reg.out;
    EXPECT_EQ(L"注册成功：" + path + L"\r\n", reg.out);
    EXPECT_EQ(path, RegisteredTestServer());

    Outcome list = RunOrvictl(L"list");
    EXPECT_EQ(0u, list.code);
    EXPECT_EQ(L"ORVI.TestCtl  " + path + L"\r\n", list.out);
    Outcome json = RunOrvictl(L"list --json");
    EXPECT_EQ(0u, json.code);
    std::wstring escaped;
    for (wchar_t c : path)
        escaped += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
    EXPECT_EQ(L"{\"controls\":[{\"progId\":\"ORVI.TestCtl\",\"clsid\":\"" +
                  std::wstring(kTestServerClsid) + L"\",\"serverPath\":\"" + escaped +
                  L"\",\"serverExists\":true,\"version\":null,\"ready\":true}]"
                  L",\"count\":1}\r\n",
              json.out);

    // The browser's record gives the version and the download address.
    std::wstring unit = UnitKey(false, kTestServerClsid);
    SetDefaultValue(HKEY_LOCAL_MACHINE, unit + L"\\InstalledVersion", L"1,2,3,4");
    SetStringValue(HKEY_LOCAL_MACHINE, unit + L"\\DownloadInformation", L"CODEBASE",
                   L"http://example.com/控件.cab");
    Outcome info = RunOrvictl(L"info orvi.testctl");
    DeleteTree(HKEY_LOCAL_MACHINE, unit);
    EXPECT_EQ(0u, info.code);
    EXPECT_EQ(L"ProgID：ORVI.TestCtl\r\nCLSID：" + std::wstring(kTestServerClsid) + L"\r\nPATH：" +
                  path +
                  L"\r\nVERSION：1,2,3,4\r\n下载地址：http://example.com/控件.cab\r\n注册表视图：" +
                  (ProcessIsWow64() ? L"32位（Wow6432Node）" : L"本机") + L"\r\n",
              info.out);

    // A server file that is gone is a broken install: marked, and info fails.
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_TRUE(Holds(RunOrvictl(L"list").out, L"（服务器文件不存在）"));
    Outcome broken = RunOrvictl(L"info ORVI.TestCtl --json");
    EXPECT_EQ(1u, broken.code);
    EXPECT_TRUE(Holds(broken.out, L"\"found\":true,")) << broken.out;
    EXPECT_TRUE(Holds(broken.out, L"\"serverExists\":false,")) << broken.out;
    // orvictl is built like this test: a 32-bit one runs on 64-bit Windows.
    const std::wstring view = ProcessIsWow64() ? L"32-bit" : L"native";
    EXPECT_TRUE(Holds(broken.out, L"\"registryView\":\"" + view + L"\"}")) << broken.out;

    Outcome removed = RunOrvictl(L"uninstall ORVI.TestCtl");
    EXPECT_EQ(0u, removed.code);
    EXPECT_EQ(L"已卸载：ORVI.TestCtl\r\n", removed.out);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    Outcome gone = RunOrvictl(L"info ORVI.TestCtl");
    EXPECT_EQ(1u, gone.code);
    EXPECT_EQ(L"没有安装这个控件：ORVI.TestCtl\r\n", gone.out);
    EXPECT_EQ(L"{\"progId\":\"ORVI.TestCtl\",\"found\":false}\r\n",
              RunOrvictl(L"info ORVI.TestCtl --json").out);
    EXPECT_EQ(1u, RunOrvictl(L"uninstall ORVI.TestCtl").code);
}

// Keys outside the family are never the target of a removal.
TEST_F(Orvictl, UninstallTakesOnlyTheFamilysControls)
{
    SetDefaultValue(HKEY_CLASSES_ROOT, L"OrvX.NotOurs", L"x");
    Outcome run = RunOrvictl(L"uninstall OrvX.NotOurs");
    EXPECT_EQ(1u, run.code);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"OrvX.NotOurs"));
    DeleteTree(HKEY_CLASSES_ROOT, L"OrvX.NotOurs");
}

// The removal never acts through a registry link, so a family ProgID that is
// one (dangling here: a plain open finds nothing) stays, and is reported so.
TEST_F(Orvictl, UninstallOfARegistryLinkFails)
{
    const wchar_t progId[] = L"ORVI.LinkedCtl";
    const std::wstring target = L"\\REGISTRY\\MACHINE\\Software\\OrviLinkNowhere";
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CLASSES_ROOT, progId, 0, NULL, REG_OPTION_CREATE_LINK,
                              KEY_ALL_ACCESS, NULL, &key, NULL));
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE *)target.c_str(),
                             (DWORD)(target.size() * sizeof(wchar_t))));
    RegCloseKey(key);

    Outcome run = RunOrvictl(L"uninstall ORVI.LinkedCtl");
    EXPECT_EQ(1u, run.code);
    EXPECT_EQ(L"卸载失败：ORVI.LinkedCtl\r\n", run.out);
    EXPECT_TRUE(Holds(RunOrvictl(L"list").out, L"ORVI.LinkedCtl")) << run.out;

    // The link key itself, never its target.
    typedef LONG(WINAPI * NtDeleteKeyFn)(HANDLE);
    NtDeleteKeyFn deleteKey =
        (NtDeleteKeyFn)(void *)GetProcAddress(GetModuleHandleW(L"ntdll"), "NtDeleteKey");
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CLASSES_ROOT, progId, REG_OPTION_OPEN_LINK, DELETE, &key));
    EXPECT_EQ(0, deleteKey(key));
    RegCloseKey(key);
}

TEST_F(Orvictl, FailedRegistrationsSayWhy)
{
    std::wstring missing = dir + L"\\missing.ocx";
    std::wstring text = dir + L"\\text.dll";
    WriteFileBytes(text, "not a program");
    std::wstring arm = CopyTestServer(L"arm.dll");
    std::string bytes = ReadFileBytes(arm);
    size_t pe = *(const DWORD *)(bytes.data() + 0x3c);
    ASSERT_EQ(std::string("PE\0\0", 4), bytes.substr(pe, 4));
    // An ARM machine of the server's own format: ARM64 for a 64-bit server,
    // 32-bit ARM for a 32-bit one.
    bool wideServer = sizeof(void *) == 8;
    bytes[pe + 4] = (char)(wideServer ? 0x64 : 0xC4); // IMAGE_FILE_MACHINE_ARM64 / ARMNT
    bytes[pe + 5] = (char)(wideServer ? 0xAA : 0x01);
    WriteFileBytes(arm, bytes);
    std::wstring noImport = CopyTestServer(L"noimport.dll");
    PatchBytes(noImport, "ADVAPI32.dll", "ORVIMISS.dll");
    std::wstring noEntry = CopyTestServer(L"noentry.dll");
    PatchBytes(noEntry, "DllRegisterServer", "DllRegisterServeX");
    std::wstring failing = CopyTestServer(L"failing.ocx");
    std::wstring empty = dir + L"\\empty.ocx";
    WriteFileBytes(empty, "");
    // Headers the loader takes that a reader of the full structures misreads:
    // an optional header that ends after its import entry, and the longest
    // import name a file may have.
    PeLayout shortHeader;
    shortHeader.optionalSize = 128;
    shortHeader.imports = {"kernel32.dll", "ORVIMISS.dll"};
    std::wstring shortPath = WriteDll(L"short.dll", shortHeader);
    PeLayout longName;
    std::string name255 = std::string(251, 'n') + ".dll";
    longName.imports = {name255};
    std::wstring longNamePath = WriteDll(L"longname.dll", longName);
    // A 64-bit machine with a 32-bit header contradicts itself: no loader takes it.
    PeLayout mixed;
    mixed.machine = IMAGE_FILE_MACHINE_AMD64;
    mixed.magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    std::wstring mixedPath = WriteDll(L"mixed.dll", mixed);
    // A runtime the machine lacks is named with the package that installs it.
    PeLayout runtime;
    runtime.imports = {"mfc140u.dll"};
    std::wstring runtimePath = WriteDll(L"runtime.dll", runtime);
    // The loader looks beside the control first: a dependency there is
    // found, also at a path longer than MAX_PATH. (It is no DLL, so the load
    // still fails.)
    std::wstring deep = dir;
    while (deep.size() < 380) {
        deep += L"\\" + std::wstring(100, L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), NULL));
    }
    std::wstring beside = deep + L"\\beside.dll";
    ASSERT_TRUE(CopyFileW(noImport.c_str(), beside.c_str(), FALSE));
    WriteFileBytes(deep + L"\\ORVIMISS.dll", "not a program");
    // A DLL of the other bitness goes to the registrar of its own bitness,
    // which looks for its DLLs in its own system folder; the runtime it
    // lacks is the package of its bitness.
    PeLayout other;
    other.machine = wideServer ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
    other.magic = wideServer ? IMAGE_NT_OPTIONAL_HDR32_MAGIC : IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    other.imports = {"kernel32.dll", "ORVIMISS.dll"};
    std::wstring otherPath = WriteDll(L"other.dll", other);
    other.imports = {"mfc140u.dll"};
    std::wstring otherRuntime = WriteDll(L"otherruntime.dll", other);
    // Larger than a 32-bit process can map (sparse: a few KB on disk): only
    // what the diagnosis looks at is read.
    PeLayout large;
    large.imports = {"ORVIMISS.dll"};
    std::wstring largePath = WriteDll(L"large.dll", large);
    HANDLE file = CreateFileW(largePath.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    LARGE_INTEGER end;
    end.QuadPart = 1536LL << 20;
    EXPECT_TRUE(SetFilePointerEx(file, end, NULL, FILE_BEGIN) && SetEndOfFile(file));
    FILE_STANDARD_INFO standard = {};
    EXPECT_TRUE(GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard)));
    CloseHandle(file);
    EXPECT_EQ(end.QuadPart, standard.EndOfFile.QuadPart);
    EXPECT_LT(standard.AllocationSize.QuadPart, 1LL << 20) << "the large file is not sparse";
    // The bounds hold, seen by what lies just past them: imports in the 97th
    // section, a missing DLL in the 257th entry or in the entry after those
    // the directory's size names. Each would be named without its bound.
    PeLayout past;
    past.sectionsBefore = 96;
    past.imports = {"ORVIMISS.dll"};
    std::wstring pastSections = WriteDll(L"sections.dll", past);
    past = PeLayout();
    past.imports = std::vector<std::string>(256, "kernel32.dll");
    past.imports.push_back("ORVIMISS.dll");
    std::wstring pastEntries = WriteDll(L"entries.dll", past);
    past.imports = {"kernel32.dll", "kernel32.dll", "ORVIMISS.dll"};
    past.directorySize = 2 * sizeof(IMAGE_IMPORT_DESCRIPTOR);
    std::wstring pastSize = WriteDll(L"size.dll", past);

    struct Case {
        std::wstring path, reason;
    };
    const Case cases[] = {
        {missing, L"文件不存在"},
        {text, L"不是PE格式的DLL"},
        {arm, std::wstring(L"为其他机器编译（") + (wideServer ? L"ARM64" : L"ARM") +
                  L"），这台电脑不能注册，请换用这个控件的x86（32位）或x64（64位）版本"},
        {noImport, L"找不到它需要的DLL：ORVIMISS.dll"},
        {noEntry, L"没有DllRegisterServer函数"},
        {empty, L"文件是空的（0字节），请重新获取这个控件文件"},
        {shortPath, L"找不到它需要的DLL：ORVIMISS.dll"},
        {longNamePath, L"找不到它需要的DLL：" + std::wstring(name255.begin(), name255.end())},
        {mixedPath, L"不是PE格式的DLL"},
        {runtimePath, std::wstring(L"找不到它需要的DLL：mfc140u.dll，请安装Microsoft Visual C++ "
                                   L"2015-2022 可再发行组件包（") +
                          (ProcessIsWow64() ? L"x86" : L"x64") + L"）"},
        {beside, L"无法加载"},
        {otherPath, L"找不到它需要的DLL：ORVIMISS.dll"},
        {otherRuntime, std::wstring(L"找不到它需要的DLL：mfc140u.dll，请安装Microsoft Visual C++ "
                                    L"2015-2022 可再发行组件包（") +
                           (wideServer ? L"x86" : L"x64") + L"）"},
        {largePath, L"找不到它需要的DLL：ORVIMISS.dll"},
        {pastSections, L"无法加载"},
        {pastEntries, L"无法加载"},
        {pastSize, L"无法加载"},
    };
    ASSERT_GT(beside.size(), (size_t)MAX_PATH);
    for (const Case &c : cases) {
        Outcome run = RunOrvictl(L"register \"" + c.path + L"\"");
        EXPECT_EQ(1u, run.code) << c.path;
        EXPECT_EQ(L"注册失败：" + c.path + L"：" + c.reason + L"\r\n", run.out);
    }
    DeleteFileW(largePath.c_str());
    SetEnv(L"ORVI_TEST_FAIL", L"register");
    Outcome run = RunOrvictl(L"register \"" + failing + L"\"");
    EXPECT_EQ(1u, run.code);
    EXPECT_EQ(L"注册失败：" + failing + L"：DllRegisterServer执行失败\r\n", run.out);
}

TEST_F(Orvictl, CabinetIsUnpackedAndRegisteredLineByLine)
{
    std::string server = ReadFileBytes(TestServerPath());
    CabEntry control{"ctl.ocx", server};
    CabEntry readme{"readme.txt", "read me"};
    ASSERT_TRUE(MakeCabinet(dir, "pack.cab", {control, readme}));
    std::vector<std::wstring> before = NamesIn(BaseFolder());
    Outcome run = RunOrvictl(L"register \"" + dir + L"\\pack.cab\"");
    EXPECT_EQ(0u, run.code) << run.out;
    EXPECT_TRUE(Holds(run.out, L"/ctl.ocx\r\n")) << run.out;
    EXPECT_TRUE(Holds(run.out, L"/readme.txt\r\n")) << run.out;
    EXPECT_TRUE(Holds(run.out, L"ctl.ocx\r\n注册状态:注册成功！\r\n")) << run.out;
    EXPECT_TRUE(Holds(run.out, L"\r\n注册成功：")) << run.out;
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    // A cabinet with a control that cannot register fails, with its reason.
    CabEntry broken{"broken.dll", "not a program"};
    ASSERT_TRUE(MakeCabinet(dir, "broken.cab", {control, broken}));
    Outcome bad = RunOrvictl(L"register \"" + dir + L"\\broken.cab\"");
    EXPECT_EQ(1u, bad.code);
    EXPECT_TRUE(Holds(bad.out, L"broken.dll：不是PE格式的DLL\r\n")) << bad.out;
    EXPECT_TRUE(Holds(bad.out, L"注册状态:注册失败！\r\n")) << bad.out;

    // A refused name is reported as refused; the files after it are still
    // unpacked and registered, and the cabinet fails.
    RemoveFamilyKeys();
    ASSERT_TRUE(MakeCabinet(
        dir, "half.cab",
        {{"ORVI.Half1.ocx", server}, {"sub\\ORVI.Half2.ocx", server}, {"ORVI.Half3.ocx", server}}));
    Outcome half = RunOrvictl(L"register \"" + dir + L"\\half.cab\"");
    EXPECT_EQ(1u, half.code) << half.out;
    EXPECT_TRUE(Holds(half.out, L"拒绝解压（文件名不合法）：" + SystemDrive() + L":/OrviActiveX/"))
        << half.out;
    EXPECT_TRUE(Holds(half.out, L"/sub\\ORVI.Half2.ocx\r\n")) << half.out;
    EXPECT_EQ(half.out.find(L"ORVI.Half2"), half.out.rfind(L"ORVI.Half2")) << "listed once";
    EXPECT_TRUE(Holds(half.out, L"/ORVI.Half3.ocx\r\n注册成功：")) << half.out;
    EXPECT_TRUE(Holds(half.out, L"/ORVI.Half1.ocx\r\n注册成功：")) << half.out;
    EXPECT_TRUE(Holds(half.out, L"注册状态:注册失败！\r\n")) << half.out;

    // A control file whose ending is not in lower case is not registered,
    // and the line says which ending it needs; the cabinet fails.
    RemoveFamilyKeys();
    ASSERT_TRUE(MakeCabinet(dir, "cased.cab", {control, {"Sign.OCX", server}}));
    Outcome cased = RunOrvictl(L"register \"" + dir + L"\\cased.cab\"");
    EXPECT_EQ(1u, cased.code) << cased.out;
    EXPECT_TRUE(Holds(cased.out, L"/Sign.OCX：扩展名不是小写的.ocx，没有注册\r\n")) << cased.out;
    EXPECT_TRUE(Holds(cased.out, L"/ctl.ocx\r\n")) << cased.out;
    ASSERT_TRUE(MakeCabinet(dir, "upper.cab", {{"CTL.Dll", server}}));
    Outcome upper = RunOrvictl(L"register \"" + dir + L"\\upper.cab\"");
    EXPECT_EQ(1u, upper.code) << upper.out;
    EXPECT_TRUE(
        Holds(upper.out, L"/CTL.Dll：扩展名不是小写的.dll，没有注册\r\n注册状态:注册失败！\r\n"))
        << upper.out;

    // Random bytes are no cabinet: said so, and nothing is registered.
    WriteFileBytes(dir + L"\\random.cab",
                   std::string("\x4d\x53\x43\x46\x9a\x01\x77\xfe") + std::string(500, '\x5a'));
    Outcome random = RunOrvictl(L"register \"" + dir + L"\\random.cab\"");
    EXPECT_EQ(1u, random.code);
    EXPECT_EQ(L"注册失败：无法解压：" + dir + L"\\random.cab\r\n", random.out);
    RemoveFamilyKeys();
    for (const std::wstring &name : NamesIn(BaseFolder())) {
        if (std::find(before.begin(), before.end(), name) == before.end())
            RemoveTree(BaseFolder() + L"\\" + name);
    }
}

// orvictl unpacked anywhere (a download folder, say) runs elevated, so
// nothing beside it is loaded or counted: only the system's DLLs. Windows
// takes a DLL that is not one of its known DLLs from the program's folder
// first; Wine does so when its DLL overrides ask for the native one. A
// process's WINEDLLOVERRIDES comes from the Unix environment it was started
// with, which SetEnvironmentVariable does not reach, so the override is
// Wine's per-program key. The planted cabinet.dll, a copy of the test server
// that notes every load, is loaded so by an orvictl that imports it.
TEST_F(Orvictl, ACopyInAnyFolderLoadsNothingBesideItAndLooksNowhereNearIt)
{
    const std::wstring folder = dir + L"\\downloads";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
    const std::wstring copy = folder + L"\\orvictl.exe";
    ASSERT_TRUE(CopyFileW((TestProgramDir() + L"\\orvictl.exe").c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(TestServerPath().c_str(), (folder + L"\\cabinet.dll").c_str(), FALSE));
    // Beside orvictl, where the registrar never looks, a DLL a control needs.
    WriteFileBytes(folder + L"\\ORVIMISS.dll", "not a program");
    std::wstring needy = CopyTestServer(L"needy.ocx");
    PatchBytes(needy, "ADVAPI32.dll", "ORVIMISS.dll");
    ASSERT_TRUE(MakeCabinet(dir, "pack.cab", {{"ctl.ocx", ReadFileBytes(TestServerPath())}}));
    const std::wstring loads = dir + L"\\loads.log";
    const wchar_t overrides[] = L"Software\\Wine\\AppDefaults\\orvictl.exe";
    SetStringValue(HKEY_CURRENT_USER, std::wstring(overrides) + L"\\DllOverrides", L"cabinet",
                   L"native,builtin", KEY_WOW64_64KEY);
    SetEnv(L"ORVI_TEST_LOAD_LOG", loads.c_str());
    std::vector<std::wstring> before = NamesIn(BaseFolder());

    auto plantedLoaded = [&loads]() {
        for (const std::wstring &line : ReadServerLog(loads)) {
            if (line.find(L"downloads") != std::wstring::npos)
                return true;
        }
        return false;
    };
    Outcome help = RunOrvictlAt(copy, L"help");
    // The planted code must not run on: with its stand-ins for the
    // decompressor a cabinet would crash orvictl into the debugger.
    bool planted = plantedLoaded();
    Outcome cabinet = {}, missing = {};
    if (!planted) {
        cabinet = RunOrvictlAt(copy, L"register \"" + dir + L"\\pack.cab\"");
        missing = RunOrvictlAt(copy, L"register \"" + needy + L"\"");
        planted = plantedLoaded();
    }
    SetEnv(L"ORVI_TEST_LOAD_LOG", NULL);
    DeleteTree(HKEY_CURRENT_USER, overrides, KEY_WOW64_64KEY);
    ASSERT_FALSE(planted) << "orvictl loaded the cabinet.dll beside it";
    EXPECT_EQ(0u, help.code) << help.out;
    EXPECT_TRUE(Holds(help.out, L"orvictl uninstall --all")) << help.out;
    EXPECT_EQ(0u, cabinet.code) << cabinet.out;
    EXPECT_TRUE(Holds(cabinet.out, L"注册状态:注册成功！")) << cabinet.out;
    EXPECT_EQ(L"注册失败：" + needy + L"：找不到它需要的DLL：ORVIMISS.dll\r\n", missing.out);
    // The log works: the registrar loaded the unpacked control and noted it.
    std::vector<std::wstring> loaded = ReadServerLog(loads);
    EXPECT_TRUE(std::any_of(loaded.begin(), loaded.end(), [](const std::wstring &line) {
        return line.size() > 7 && line.compare(line.size() - 7, 7, L"ctl.ocx") == 0;
    }));
    RemoveFamilyKeys();
    for (const std::wstring &name : NamesIn(BaseFolder())) {
        if (std::find(before.begin(), before.end(), name) == before.end())
            RemoveTree(BaseFolder() + L"\\" + name);
    }
}

TEST_F(Orvictl, UninstallAllGoesControlByControl)
{
    SetEnv(L"ORVI_TEST_PROGID", L"Orvi.Second");
    SetEnv(L"ORVI_TEST_CLSID", L"{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C40}");
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + CopyTestServer(L"second.ocx") + L"\"").code);
    SetEnv(L"ORVI_TEST_PROGID", NULL);
    SetEnv(L"ORVI_TEST_CLSID", NULL);
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + CopyTestServer(L"first.ocx") + L"\"").code);
    std::vector<std::wstring> keys = FamilyKeys();
    ASSERT_EQ(2u, keys.size());

    Outcome run = RunOrvictl(L"uninstall --all");
    EXPECT_EQ(0u, run.code);
    EXPECT_EQ(L"已卸载：" + keys[0] + L"\r\n已卸载：" + keys[1] + L"\r\n", run.out);
    EXPECT_TRUE(FamilyKeys().empty());
    // The test server's unregistration takes its default ProgID's keys with
    // it, so only the control removed first still names its file to delete.
    EXPECT_FALSE(FileExists(dir + (keys[0] == L"Orvi.Second" ? L"\\second.ocx" : L"\\first.ocx")));
    Outcome empty = RunOrvictl(L"uninstall --all");
    EXPECT_EQ(0u, empty.code);
    EXPECT_EQ(L"当前电脑没有安装控件！\r\n", empty.out);
    EXPECT_EQ(L"当前电脑没有安装控件！\r\n", RunOrvictl(L"list").out);
}

// The platform's own limited token (the linked token of this elevated
// process) runs orvictl as an administrator does before elevation.
static HANDLE LimitedToken()
{
    HANDLE own;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own))
        return NULL;
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size = 0;
    BOOL gotLinked = GetTokenInformation(own, TokenLinkedToken, &linked, sizeof(linked), &size);
    CloseHandle(own);
    EXPECT_TRUE(gotLinked) << GetLastError();
    if (!gotLinked)
        return NULL;
    TOKEN_ELEVATION elevation = {};
    EXPECT_TRUE(GetTokenInformation(linked.LinkedToken, TokenElevation, &elevation,
                                    sizeof(elevation), &size));
    EXPECT_FALSE(elevation.TokenIsElevated);
    return linked.LinkedToken;
}

TEST_F(Orvictl, ChangesNeedAnElevatedProcess)
{
    TOKEN_LINKED_TOKEN linked = {LimitedToken()};
    ASSERT_TRUE(linked.LinkedToken != NULL);

    std::wstring path = CopyTestServer(L"ctl.ocx");
    Outcome reg = RunOrvictl(L"register \"" + path + L"\"", linked.LinkedToken);
    EXPECT_EQ(3u, reg.code) << reg.out;
    EXPECT_TRUE(Holds(reg.out, L"需要管理员权限")) << reg.out;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    EXPECT_EQ(0u, RunOrvictl(L"list", linked.LinkedToken).code);

    ASSERT_EQ(0u, RunOrvictl(L"register \"" + path + L"\"").code);
    EXPECT_EQ(3u, RunOrvictl(L"uninstall ORVI.TestCtl", linked.LinkedToken).code);
    EXPECT_EQ(3u, RunOrvictl(L"uninstall --all", linked.LinkedToken).code);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    EXPECT_EQ(0u, RunOrvictl(L"info ORVI.TestCtl", linked.LinkedToken).code);
    // The records are for anybody to read; turning one back needs the rights.
    ASSERT_EQ(0u, RunOrvictl(L"uninstall ORVI.TestCtl").code);
    EXPECT_EQ(0u, RunOrvictl(L"history", linked.LinkedToken).code);
    EXPECT_EQ(3u, RunOrvictl(L"restore ORVI.TestCtl", linked.LinkedToken).code);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    CloseHandle(linked.LinkedToken);
}

// The whole server path is read, as long as the registry value is, in the
// type the registry gives it; only a full path names a file.
TEST_F(Orvictl, ServerPathIsReadWholeAndOnlyAFullPathNamesAFile)
{
    // 254 characters: more than the information box reads (249).
    std::wstring folder = dir + L"\\" + std::wstring(254 - dir.size() - 9, L'p');
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
    std::wstring path = folder + L"\\ctl.ocx";
    ASSERT_EQ(254u, path.size());
    ASSERT_TRUE(CopyFileW(TestServerPath().c_str(), path.c_str(), FALSE));
    PlantControl(kTestServerProgId, kTestServerClsid, path);
    Outcome info = RunOrvictl(L"info ORVI.TestCtl");
    EXPECT_EQ(0u, info.code) << info.out;
    EXPECT_TRUE(Holds(info.out, L"\r\nPATH：" + path + L"\r\n")) << info.out;
    Outcome json = RunOrvictl(L"info ORVI.TestCtl --json");
    EXPECT_EQ(0u, json.code);
    EXPECT_TRUE(
        Holds(json.out, L"\"serverPath\":\"" + JsonText(path) + L"\",\"serverExists\":true,"))
        << json.out;
    EXPECT_EQ(L"ORVI.TestCtl  " + path + L"\r\n", RunOrvictl(L"list").out);

    // An expandable value names its file once expanded, a plain one as it stands.
    SetEnv(L"ORVI_TEST_FOLDER", folder.c_str());
    const std::wstring stored = L"%ORVI_TEST_FOLDER%\\ctl.ocx";
    PlantControl(kTestServerProgId, kTestServerClsid, stored, false, REG_EXPAND_SZ);
    Outcome expandable = RunOrvictl(L"info ORVI.TestCtl");
    EXPECT_EQ(0u, expandable.code) << expandable.out;
    EXPECT_TRUE(Holds(expandable.out, L"\r\nPATH：" + stored + L"\r\n")) << expandable.out;
    PlantControl(kTestServerProgId, kTestServerClsid, stored, false, REG_SZ);
    EXPECT_EQ(L"ORVI.TestCtl  " + stored + L"  （服务器文件不存在）\r\n", RunOrvictl(L"list").out);
    SetEnv(L"ORVI_TEST_FOLDER", NULL);

    // A value that is no string names no path, whatever its bytes say.
    std::wstring beside = CopyTestServer(L"ctl.ocx");
    PlantControl(kTestServerProgId, kTestServerClsid, beside, false, REG_BINARY);
    Outcome binary = RunOrvictl(L"info ORVI.TestCtl --json");
    EXPECT_EQ(1u, binary.code);
    EXPECT_TRUE(Holds(binary.out, L"\"serverPath\":null,\"serverExists\":false,")) << binary.out;

    // A relative path names no file, even for an orvictl that runs beside it.
    PlantControl(kTestServerProgId, kTestServerClsid, L"ctl.ocx");
    wchar_t previous[MAX_PATH] = {};
    ASSERT_TRUE(GetCurrentDirectoryW(MAX_PATH, previous));
    ASSERT_TRUE(SetCurrentDirectoryW(dir.c_str()));
    Outcome relative = RunOrvictl(L"list");
    Outcome relativeInfo = RunOrvictl(L"info ORVI.TestCtl");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(L"ORVI.TestCtl  ctl.ocx  （服务器文件不存在）\r\n", relative.out);
    EXPECT_EQ(1u, relativeInfo.code) << relativeInfo.out;
}

// A planted name or path cannot forge lines of a log: lines for people show
// control characters as '?'. JSON escapes them, and a lone surrogate too, so
// each name it gives is a name info takes back.
TEST_F(Orvictl, RegistryTextCannotForgeLines)
{
    const std::wstring forged = L"ORVI.Forged\r\n已卸载：ORVI.Other";
    PlantControl(forged, kTestServerClsid, L"C:\\none.ocx\r\n注册成功：C:\\x.ocx");
    const std::wstring masked = L"ORVI.Forged??已卸载：ORVI.Other";
    const std::wstring maskedPath = L"C:\\none.ocx??注册成功：C:\\x.ocx  （服务器文件不存在）\r\n";
    EXPECT_EQ(masked + L"  " + maskedPath, RunOrvictl(L"list").out);
    Outcome info = RunOrvictl(L"info \"" + forged + L"\"");
    EXPECT_EQ(1u, info.code);
    EXPECT_EQ(0u, info.out.find(L"ProgID：" + masked + L"\r\n")) << info.out;
    EXPECT_TRUE(Holds(info.out, L"\r\nPATH：" + maskedPath)) << info.out;
    EXPECT_EQ(L"没有安装这个控件：ORVI.None??x\r\n", RunOrvictl(L"info \"ORVI.None\r\nx\"").out);
    EXPECT_EQ(L"已卸载：" + masked + L"\r\n", RunOrvictl(L"uninstall \"" + forged + L"\"").out);
    // Recorded as any removal is: the state file holds such a name escaped.
    EXPECT_TRUE(Holds(FirstLine(RunOrvictl(L"history").out), L"  " + masked + L"  "));
    EXPECT_TRUE(Holds(RunOrvictl(L"history --json").out,
                      L"{\"progId\":\"ORVI.Forged\\u000d\\u000a已卸载：ORVI.Other\",\"time\":"));

    const std::wstring lone = std::wstring(L"ORVI.Lone") + (wchar_t)0xD83D + L"x";
    SetDefaultValue(HKEY_CLASSES_ROOT, lone, L"x");
    Outcome json = RunOrvictl(L"list --json");
    EXPECT_TRUE(Holds(json.out, L"{\"progId\":\"ORVI.Lone\\ud83dx\",\"clsid\":null,")) << json.out;
    // The name a JSON reader decodes from it finds the control again.
    Outcome again = RunOrvictl(L"info \"" + lone + L"\" --json");
    EXPECT_TRUE(Holds(again.out, L"{\"progId\":\"ORVI.Lone\\ud83dx\",\"found\":true,"))
        << again.out;
}

// ---- removal records ------------------------------------------------------------------

static const wchar_t kProtectedFolder[] =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// A removal turned back from its record: the keys it deleted, each in its
// own view (the i686 orvictl's class keys lie in the 32-bit one, its ProgID
// and type library in the shared keys), and the server file byte for byte;
// the control then works again. Never over a different file.
TEST_F(Orvictl, RemovedControlIsRestoredFromItsRecord)
{
    std::wstring path = CopyTestServer(L"restored.ocx");
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + path + L"\"").code);
    const std::wstring keys[] = {L"ORVI.TestCtl", std::wstring(L"CLSID\\") + kTestServerClsid,
                                 std::wstring(L"TypeLib\\") + kTestServerTypeLib};
    std::vector<std::wstring> before;
    for (const std::wstring &key : keys)
        before.push_back(KeyTreeText(HKEY_CLASSES_ROOT, key));
    std::string bytes = ReadFileBytes(path);
    ASSERT_EQ(0u, RunOrvictl(L"uninstall ORVI.TestCtl").code);
    ASSERT_FALSE(FileExists(path));

    Outcome history = RunOrvictl(L"history");
    EXPECT_EQ(0u, history.code);
    EXPECT_TRUE(Holds(FirstLine(history.out), L"  ORVI.TestCtl  " + path + L"  已完成"))
        << history.out;
    Outcome json = RunOrvictl(L"history --json");
    EXPECT_EQ(0u, json.code);
    EXPECT_EQ(0u, json.out.find(L"{\"records\":[{\"progId\":\"ORVI.TestCtl\",\"time\":\""))
        << json.out;

    // Each record goes by its number, which history shows first.
    const std::wstring number = std::to_wstring(std::stoull(RecordNames()[0]));
    EXPECT_EQ(0u, history.out.find(number + L"  ")) << history.out;
    EXPECT_TRUE(Holds(json.out, L"\"done\":true,\"number\":" + number + L",")) << json.out;
    EXPECT_EQ(1u, RunOrvictl(L"restore ORVI.TestCtl " + number + L"0").code);
    Outcome restored = RunOrvictl(L"restore orvi.testctl " + number);
    EXPECT_EQ(0u, restored.code) << restored.out;
    EXPECT_EQ(0u, restored.out.find(L"已恢复服务器文件：" + path + L"\r\n已恢复注册表项："))
        << restored.out;
    EXPECT_TRUE(Holds(restored.out, L"\r\n已恢复：ORVI.TestCtl（卸载于")) << restored.out;
    EXPECT_TRUE(Holds(restored.out, L"，记录编号" + number + L"）\r\n")) << restored.out;
    for (size_t i = 0; i < before.size(); i++)
        EXPECT_EQ(before[i], KeyTreeText(HKEY_CLASSES_ROOT, keys[i])) << keys[i];
    EXPECT_TRUE(bytes == ReadFileBytes(path)) << "the server file differs";
    EXPECT_EQ(0u, RunOrvictl(L"info ORVI.TestCtl").code);

    // Never over the control installed now: a newer version at another
    // path, with the same class, as upgrades keep it, stays as it is.
    ASSERT_EQ(0u, RunOrvictl(L"uninstall ORVI.TestCtl").code);
    const std::wstring newer = CopyTestServer(L"newer.ocx");
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + newer + L"\"").code);
    Outcome installed = RunOrvictl(L"restore ORVI.TestCtl");
    EXPECT_EQ(1u, installed.code);
    EXPECT_EQ(L"恢复失败：这个控件现在已经安装，卸载记录不会覆盖它：ORVI.TestCtl\r\n",
              installed.out);
    EXPECT_EQ(newer, RegisteredTestServer());
    EXPECT_FALSE(FileExists(path));

    // Nor a removal still under way: it holds its record's state file.
    ASSERT_EQ(0u, RunOrvictl(L"uninstall ORVI.TestCtl").code);
    HANDLE state =
        CreateFileW((NewestRecord() + L"\\state.txt").c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, state);
    Outcome underWay = RunOrvictl(L"restore ORVI.TestCtl");
    CloseHandle(state);
    EXPECT_EQ(1u, underWay.code);
    EXPECT_EQ(L"恢复失败：这个控件正在卸载，请等卸载结束后再试：ORVI.TestCtl\r\n", underWay.out);
    EXPECT_FALSE(FileExists(newer));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    RemoveRecords();
    ASSERT_EQ(path, CopyTestServer(L"restored.ocx"));
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + path + L"\"").code);
    ASSERT_EQ(0u, RunOrvictl(L"uninstall ORVI.TestCtl").code);
    WriteFileBytes(path, "another file");
    Outcome refused = RunOrvictl(L"restore ORVI.TestCtl");
    EXPECT_EQ(1u, refused.code);
    EXPECT_EQ(L"恢复失败：服务器文件的位置已有另一个文件：" + path + L"\r\n", refused.out);
    EXPECT_EQ("another file", ReadFileBytes(path));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    // Nor over a key of the record that another control wrote since (its
    // own type library of that GUID): refused before anything changes.
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    SetDefaultValue(HKEY_CLASSES_ROOT, kServerTypeLibKey, L"another control's library");
    const std::wstring planted = KeyTreeText(HKEY_CLASSES_ROOT, kServerTypeLibKey);
    Outcome overKey = RunOrvictl(L"restore ORVI.TestCtl");
    EXPECT_EQ(1u, overKey.code);
    EXPECT_EQ(0u, overKey.out.find(L"恢复失败：这个注册表项现在已存在，内容与卸载记录不同，"
                                   L"卸载记录不会覆盖它：HKEY_"))
        << overKey.out;
    // The type library's key by its full path (Wine writes "Typelib").
    EXPECT_TRUE(Holds(overKey.out, std::wstring(L"\\") + kTestServerTypeLib + L"\r\n"))
        << overKey.out;
    EXPECT_EQ(planted, KeyTreeText(HKEY_CLASSES_ROOT, kServerTypeLibKey));
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    DeleteTree(HKEY_CLASSES_ROOT, kServerTypeLibKey);
    Outcome none = RunOrvictl(L"restore ORVI.NeverRemoved");
    EXPECT_EQ(1u, none.code);
    EXPECT_EQ(L"没有这个控件的卸载记录：ORVI.NeverRemoved\r\n", none.out);

    // A removal that cannot write its record (here another process holds the
    // records folder) goes ahead, and says it cannot be turned back.
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + CopyTestServer(L"unrecorded.ocx") + L"\"").code);
    HANDLE folder = CreateFileW(RecordsFolder().c_str(), FILE_LIST_DIRECTORY, 0, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, folder);
    Outcome unrecorded = RunOrvictl(L"uninstall ORVI.TestCtl");
    CloseHandle(folder);
    EXPECT_EQ(0u, unrecorded.code);
    EXPECT_EQ(L"已卸载（未能保存卸载记录，无法恢复）：ORVI.TestCtl\r\n", unrecorded.out);
}

// A removal whose first run deleted the file but left keys it could not
// delete, and whose second run finished it: the newest record has no copy
// of the file, the older one of the same installation has, and restore
// takes that one, saying so.
TEST_F(Orvictl, RestoreTakesTheOlderRecordOfTheSameInstallationWhenTheNewestLacksTheFile)
{
    std::wstring path = CopyTestServer(L"twice.ocx");
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + path + L"\"").code);
    // Enumerated first, a key that cannot be deleted keeps the ones after it.
    const std::wstring stuck[] = {L"ORVI.TestCtl\\AStuck",
                                  std::wstring(L"CLSID\\") + kTestServerClsid + L"\\AStuck"};
    for (const std::wstring &key : stuck) {
        SetDefaultValue(HKEY_CLASSES_ROOT, key + L"\\Inner", L"stuck");
        SetKeyDacl(HKEY_CLASSES_ROOT, key, KEY_READ);
    }
    // The server's own unregistration is pointed at names of no key.
    SetEnv(L"ORVI_TEST_PROGID", L"ORVI.FaultNone");
    SetEnv(L"ORVI_TEST_CLSID", L"{0D1C2B3A-FFFF-4a6b-8C7D-000000000001}");
    Outcome first = RunOrvictl(L"uninstall ORVI.TestCtl");
    EXPECT_EQ(1u, first.code) << first.out;
    ASSERT_FALSE(FileExists(path));
    const std::wstring older = std::to_wstring(std::stoull(RecordNames()[0]));
    for (const std::wstring &key : stuck)
        SetKeyDacl(HKEY_CLASSES_ROOT, key, 0);
    ASSERT_EQ(0u, RunOrvictl(L"uninstall ORVI.TestCtl").code);
    const std::wstring newest = std::to_wstring(std::stoull(RecordNames()[0]));
    SetEnv(L"ORVI_TEST_PROGID", NULL);
    SetEnv(L"ORVI_TEST_CLSID", NULL);

    Outcome restored = RunOrvictl(L"restore ORVI.TestCtl");
    EXPECT_EQ(0u, restored.code) << restored.out;
    EXPECT_EQ(0u, restored.out.find(L"注意：最新的卸载记录（编号" + newest +
                                    L"）不能恢复这个控件，使用了编号" + older + L"的记录。\r\n"))
        << restored.out;
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(0u, RunOrvictl(L"info ORVI.TestCtl").code);
}

// Waits until no regsvr32.exe is left running (one whose parent was ended
// goes on with its own work for a moment).
static void WaitForRegistrars()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, snapshot);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, L"regsvr32.exe") != 0)
            continue;
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process) {
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 30000));
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
}

// A removal cut short between its keys and its file (the test server ends
// orvictl from inside the registrar, where a crash would, or a registrar
// that never came back would leave it) leaves the file with no key naming
// it and its record unfinished. Commands that change nothing leave it so,
// elevated or not; the next change (here an uninstall) finishes it without
// starting the registrar that never came back again.
TEST_F(Orvictl, RemovalCutShortIsFinishedByTheNextRun)
{
    std::wstring path = CopyTestServer(L"cut short.ocx");
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + path + L"\"").code);
    LogServer();
    SetEnv(L"ORVI_TEST_KILL_PARENT", L"unregister");
    Outcome killed = RunOrvictl(L"uninstall ORVI.TestCtl");
    SetEnv(L"ORVI_TEST_KILL_PARENT", NULL);
    WaitForRegistrars();
    EXPECT_EQ(9u, killed.code) << killed.out;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    ASSERT_TRUE(FileExists(path));

    HANDLE limited = LimitedToken();
    ASSERT_TRUE(limited != NULL);
    Outcome history = RunOrvictl(L"history", limited);
    Outcome plain = RunOrvictl(L"list", limited);
    CloseHandle(limited);
    EXPECT_TRUE(Holds(FirstLine(history.out), path + L"  未完成（还需删除服务器文件）"))
        << history.out;
    EXPECT_EQ(L"当前电脑没有安装控件！\r\n", plain.out);
    for (const wchar_t *nothing : {L"list", L"info ORVI.TestCtl", L"history", L"help"})
        RunOrvictl(nothing);
    EXPECT_TRUE(FileExists(path));

    Outcome next = RunOrvictl(L"uninstall --all");
    EXPECT_EQ(0u, next.code);
    EXPECT_EQ(L"已完成中断的卸载：ORVI.TestCtl\r\n当前电脑没有安装控件！\r\n", next.out);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + path}), ReadServerLog(log));
    EXPECT_TRUE(Holds(FirstLine(RunOrvictl(L"history").out), path + L"  已完成（反注册没有完成）"));
}

// A completion never deletes what is installed now. Cut short while its
// keys went (its state says so: the test server can stop orvictl only from
// inside the registrar, so the mark is set back by hand), then registered
// again, the control is left whole and its record closed as overtaken. With
// the control gone, a key of the record that another installation wrote
// anew (the family's .qvb) stays, while one still as recorded goes.
TEST_F(Orvictl, CompletionLeavesWhatIsInstalledNow)
{
    const std::wstring path = CopyTestServer(L"again.ocx");
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + path + L"\"").code);
    SetDefaultValue(HKEY_CLASSES_ROOT, L".qvb", L"recorded");
    SetDefaultValue(HKEY_CLASSES_ROOT, L".qvm", L"recorded");
    // Cut short, the keys' step set back to undone.
    auto cutShort = [&]() {
        SetEnv(L"ORVI_TEST_KILL_PARENT", L"unregister");
        EXPECT_EQ(9u, RunOrvictl(L"uninstall ORVI.TestCtl").code);
        SetEnv(L"ORVI_TEST_KILL_PARENT", NULL);
        WaitForRegistrars();
        std::wstring state = ReadStateText(NewestRecord());
        ASSERT_NE(std::wstring::npos, state.find(L"keys=1"));
        state.replace(state.find(L"keys=1"), 6, L"keys=0");
        WriteStateText(NewestRecord(), state);
    };
    cutShort();
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + path + L"\"").code);
    Outcome finish = RunOrvictl(L"uninstall ORVI.NotInstalled");
    EXPECT_EQ(
        0u, finish.out.find(L"未继续中断的卸载（这个控件现在已注册，保持不变）：ORVI.TestCtl\r\n"))
        << finish.out;
    EXPECT_EQ(0u, RunOrvictl(L"info ORVI.TestCtl").code);
    EXPECT_EQ(path, RegisteredTestServer());
    EXPECT_TRUE(
        Holds(FirstLine(RunOrvictl(L"history").out), L"已中止（这个控件现在已注册，保持不变）"));

    SetDefaultValue(HKEY_CLASSES_ROOT, L".qvb", L"recorded");
    SetDefaultValue(HKEY_CLASSES_ROOT, L".qvm", L"recorded");
    cutShort();
    SetDefaultValue(HKEY_CLASSES_ROOT, L".qvb", L"written anew");
    SetDefaultValue(HKEY_CLASSES_ROOT, L".qvm", L"recorded");
    Outcome second = RunOrvictl(L"uninstall ORVI.NotInstalled");
    EXPECT_EQ(0u, second.out.find(L"已完成中断的卸载：ORVI.TestCtl\r\n")) << second.out;
    EXPECT_EQ(L"written anew", ReadStringValue(HKEY_CLASSES_ROOT, L".qvb"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L".qvm"));
    EXPECT_FALSE(FileExists(path));
    DeleteTree(HKEY_CLASSES_ROOT, L".qvb");
}

// A record names its server file in the view of its class: System32 is the
// 64-bit folder for a 64-bit class and the 32-bit one for a 32-bit class,
// whichever build acts on the record. The record of the other build is made
// from this build's own with its view set to the other, as that build
// writes it, so that this build's restore must reach the other folder.
TEST_F(Orvictl, RecordReachesTheServerFileOfItsViewFromEitherBuild)
{
    wchar_t system[MAX_PATH] = {}, windows[MAX_PATH] = {};
    ASSERT_TRUE(GetSystemDirectoryW(system, MAX_PATH));
    ASSERT_TRUE(GetSystemWindowsDirectoryW(windows, MAX_PATH));
    const std::wstring name = L"orvi view test.ocx";
    const std::wstring own = std::wstring(system) + L"\\" + name;
    const std::wstring other =
        std::wstring(windows) + (ProcessIsWow64() ? L"\\Sysnative\\" : L"\\SysWOW64\\") + name;
    ASSERT_TRUE(CopyFileW(TestServerPath().c_str(), own.c_str(), FALSE));
    PlantControl(kTestServerProgId, kTestServerClsid, own);
    ASSERT_EQ(0u, RunOrvictl(L"uninstall ORVI.TestCtl").code);
    ASSERT_FALSE(FileExists(own));
    const std::wstring ownView = ProcessIsWow64() ? L"view=32" : L"view=64";
    std::wstring state = ReadStateText(NewestRecord());
    ASSERT_NE(std::wstring::npos, state.find(ownView)) << state;
    state.replace(state.find(ownView), ownView.size(), ProcessIsWow64() ? L"view=64" : L"view=32");
    WriteStateText(NewestRecord(), state);

    Outcome restored = RunOrvictl(L"restore ORVI.TestCtl");
    EXPECT_EQ(0u, restored.code) << restored.out;
    EXPECT_EQ(0u, restored.out.find(L"已恢复服务器文件：" + own + L"\r\n")) << restored.out;
    EXPECT_TRUE(FileExists(other));
    EXPECT_FALSE(FileExists(own));
    DeleteFileW(other.c_str());
    DeleteFileW(own.c_str());
}

// A control of the other bitness (the other build's test server, which the
// registrar hands to its twin) has its class in the other registry view:
// info shows it there, uninstall removes it whole with that view's
// registrar, restore puts it back; the same for one control registered in
// both views by both of its builds.
TEST_F(Orvictl, ControlsOfTheOtherViewOrOfBothAreShownRemovedAndRestoredWhole)
{
    const std::wstring built = OtherBuildTestServerPath();
    if (!FileExists(built))
        GTEST_SKIP() << "the other build's test server is not built";
    const REGSAM other = OtherViewFlag();
    const std::wstring classKey = std::wstring(L"CLSID\\") + kTestServerClsid;
    const std::wstring otherPath = dir + L"\\other bits.ocx";
    ASSERT_TRUE(CopyFileW(built.c_str(), otherPath.c_str(), FALSE));
    Outcome reg = RunOrvictl(L"register \"" + otherPath + L"\"");
    if (reg.code && !ProcessIsWow64())
        GTEST_SKIP() << "the 32-bit registrar does not run on this machine: " << reg.code;
    ASSERT_EQ(0u, reg.code) << reg.out;
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", other));
    ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey));
    const std::wstring otherView = ProcessIsWow64() ? L"本机（64位）" : L"32位（Wow6432Node）";
    Outcome info = RunOrvictl(L"info ORVI.TestCtl");
    EXPECT_EQ(0u, info.code) << info.out;
    EXPECT_TRUE(
        Holds(info.out, L"\r\nPATH：" + otherPath + L"\r\n注册表视图：" + otherView + L"\r\n"))
        << info.out;
    const std::wstring before = KeyTreeText(HKEY_CLASSES_ROOT, classKey, other);
    LogServer();
    EXPECT_EQ(L"已卸载：ORVI.TestCtl\r\n", RunOrvictl(L"uninstall ORVI.TestCtl").out);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey, other));
    EXPECT_FALSE(FileExists(otherPath));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + otherPath}), ReadServerLog(log));
    Outcome restored = RunOrvictl(L"restore ORVI.TestCtl");
    EXPECT_EQ(0u, restored.code) << restored.out;
    EXPECT_EQ(before, KeyTreeText(HKEY_CLASSES_ROOT, classKey, other));
    EXPECT_EQ(0u, RunOrvictl(L"info ORVI.TestCtl").code);

    // Both builds of one control: one ProgID, its class in both views.
    const std::wstring ownPath = CopyTestServer(L"own bits.ocx");
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + ownPath + L"\"").code);
    Outcome json = RunOrvictl(L"info ORVI.TestCtl --json");
    EXPECT_EQ(0u, json.code);
    const std::wstring ownName = ProcessIsWow64() ? L"32-bit" : L"native";
    const std::wstring otherName = ProcessIsWow64() ? L"native" : L"32-bit";
    EXPECT_TRUE(Holds(json.out, L"\"views\":[{\"registryView\":\"" + ownName +
                                    L"\",\"serverPath\":\"" + JsonText(ownPath) +
                                    L"\",\"serverExists\":true},{\"registryView\":\"" + otherName +
                                    L"\",\"serverPath\":\"" + JsonText(otherPath) +
                                    L"\",\"serverExists\":true}]"))
        << json.out;
    const std::wstring ownBefore = KeyTreeText(HKEY_CLASSES_ROOT, classKey);
    const std::wstring otherBefore = KeyTreeText(HKEY_CLASSES_ROOT, classKey, other);
    EXPECT_EQ(L"已卸载：ORVI.TestCtl\r\n", RunOrvictl(L"uninstall ORVI.TestCtl").out);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey, other));
    EXPECT_FALSE(FileExists(ownPath));
    EXPECT_FALSE(FileExists(otherPath));
    restored = RunOrvictl(L"restore ORVI.TestCtl");
    EXPECT_EQ(0u, restored.code) << restored.out;
    EXPECT_EQ(ownBefore, KeyTreeText(HKEY_CLASSES_ROOT, classKey));
    EXPECT_EQ(otherBefore, KeyTreeText(HKEY_CLASSES_ROOT, classKey, other));
    EXPECT_TRUE(FileExists(ownPath));
    EXPECT_TRUE(FileExists(otherPath));
    RunOrvictl(L"uninstall ORVI.TestCtl");
}

// restore takes no path: it reads the tool's records folder alone, and in it
// only the record folders the tool made. A record planted by hand (a real one
// copied and pointed at a file and a path of its own) in a folder others may
// write to, or anywhere outside the records folder (here orvictl's current
// folder), is never used. Wine keeps no file DACL but shows a grant to
// Everyone, which the planted folders carry here; a junction or symbolic
// link (Wine makes none) and a folder owned by another user are refused the
// same way, on Windows only.
TEST_F(Orvictl, RestoreUsesOnlyTheToolsOwnRecords)
{
    std::wstring path = CopyTestServer(L"own.ocx");
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + path + L"\"").code);
    std::string bytes = ReadFileBytes(path);
    ASSERT_EQ(0u, RunOrvictl(L"uninstall ORVI.TestCtl").code);
    const std::wstring real = NewestRecord();
    ASSERT_FALSE(real.empty());

    const std::wstring victim = dir + L"\\victim.ocx";
    wchar_t name[24];
    swprintf(name, 24, L"%015llu", std::stoull(RecordNames()[0]) + 1);
    const std::wstring planted = RecordsFolder() + L"\\" + name;
    CopyRecord(real, planted);
    std::wstring state = ReadStateText(planted);
    state.replace(state.find(path), path.size(), victim);
    WriteStateText(planted, state);
    WriteFileBytes(planted + L"\\server.bin", "planted server");
    SetFolderDacl(planted, kOpenToEveryone);
    const std::wstring outside = dir + L"\\outside";
    CreateDirectoryW(outside.c_str(), NULL);
    CopyRecord(planted, outside + L"\\" + name);
    CreateDirectoryW((outside + L"\\removals").c_str(), NULL);
    CopyRecord(planted, outside + L"\\removals\\" + name);

    wchar_t working[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, working);
    ASSERT_TRUE(SetCurrentDirectoryW(outside.c_str()));
    Outcome history = RunOrvictl(L"history");
    Outcome restored = RunOrvictl(L"restore ORVI.TestCtl");
    SetCurrentDirectoryW(working);
    EXPECT_TRUE(Holds(FirstLine(history.out), L"  ORVI.TestCtl  " + path + L"  已完成"))
        << history.out;
    EXPECT_EQ(0u, restored.code) << restored.out;
    EXPECT_TRUE(bytes == ReadFileBytes(path)) << "the server file differs";
    EXPECT_FALSE(FileExists(victim));
    RemoveTree(planted);

    // A records folder that others may write to (made by somebody before the
    // tool made its own) is not read at all; the next removal sets it aside
    // and starts a folder of its own.
    ASSERT_EQ(0u, RunOrvictl(L"uninstall ORVI.TestCtl").code);
    SetFolderDacl(RecordsFolder(), kOpenToEveryone);
    Outcome none = RunOrvictl(L"restore ORVI.TestCtl");
    EXPECT_EQ(1u, none.code) << none.out;
    EXPECT_EQ(L"没有卸载记录。\r\n", RunOrvictl(L"history").out);
    EXPECT_FALSE(FileExists(path));
    std::vector<std::wstring> before = NamesIn(BaseFolder());
    ASSERT_EQ(0u, RunOrvictl(L"register \"" + CopyTestServer(L"own.ocx") + L"\"").code);
    ASSERT_EQ(0u, RunOrvictl(L"uninstall ORVI.TestCtl").code);
    EXPECT_EQ(1u, RecordNames().size());
    for (const std::wstring &folder : NamesIn(BaseFolder())) {
        if (std::find(before.begin(), before.end(), folder) != before.end())
            continue;
        EXPECT_EQ(0u, folder.find(L"removals.")) << folder;
        SetFolderDacl(BaseFolder() + L"\\" + folder, kProtectedFolder);
        RemoveTree(BaseFolder() + L"\\" + folder);
    }
}

// The codes of the problems check --json gives, in order.
static std::vector<std::wstring> ProblemCodes(const std::wstring &json)
{
    std::vector<std::wstring> codes;
    const std::wstring key = L"\"code\":\"";
    for (size_t at = json.find(key); at != std::wstring::npos; at = json.find(key, at + 1)) {
        size_t start = at + key.size();
        codes.push_back(json.substr(start, json.find(L'"', start) - start));
    }
    return codes;
}

// Each reason the browser would not load a control is found from the files
// and keys planted for it, and only while they are there; a ready control
// gives exit 0. The zones take the policies before the user's own settings.
TEST_F(Orvictl, CheckFindsEachReasonTheBrowserWouldNotLoadAControl)
{
    const std::wstring clsid = kTestServerClsid;
    const std::wstring ready = CopyTestServer(L"ready.ocx");
    PlantControl(kTestServerProgId, kTestServerClsid, ready);
    auto expectOnly = [&](const std::vector<std::wstring> &codes, Caller = {}) {
        Outcome check = RunOrvictl(L"check ORVI.TestCtl --json");
        EXPECT_EQ(codes.empty() ? 0u : 1u, check.code) << check.out;
        EXPECT_EQ(codes, ProblemCodes(check.out)) << check.out;
        EXPECT_TRUE(Holds(check.out, codes.empty() ? L"\"ready\":true" : L"\"ready\":false"));
        return check.out;
    };
    expectOnly({});
    EXPECT_EQ(L"ORVI.TestCtl  " + ready + L"\r\n", RunOrvictl(L"list").out);

    PlantControl(kTestServerProgId, kTestServerClsid, InDir(L"gone.ocx"));
    expectOnly({L"server-missing"});
    Outcome lines = RunOrvictl(L"check");
    EXPECT_EQ(1u, lines.code);
    EXPECT_TRUE(
        Holds(lines.out, L"ORVI.TestCtl  不能使用\r\n  服务器文件不存在，请重新注册这个控件\r\n"))
        << lines.out;

    // A DLL of the other bitness than the view it is registered in.
    PeLayout other;
    other.machine = sizeof(void *) == 8 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
    other.magic =
        sizeof(void *) == 8 ? IMAGE_NT_OPTIONAL_HDR32_MAGIC : IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    const std::wstring otherMachine = WriteDll(L"other.ocx", other);
    PlantControl(kTestServerProgId, kTestServerClsid, otherMachine);
    expectOnly({L"server-wrong-machine"});
    EXPECT_EQ(L"ORVI.TestCtl  " + otherMachine + L"  （浏览器无法加载，原因见 orvictl check）\r\n",
              RunOrvictl(L"list").out);
    EXPECT_TRUE(Holds(RunOrvictl(L"list --json").out, L"\"ready\":false"));

    PeLayout needs;
    needs.imports = {"orvimiss.dll"};
    PlantControl(kTestServerProgId, kTestServerClsid, WriteDll(L"needs.ocx", needs));
    EXPECT_TRUE(Holds(expectOnly({L"dependency-missing"}), L"找不到它需要的DLL：orvimiss.dll"));
    PlantControl(kTestServerProgId, kTestServerClsid, ready);

    // The kill bit, of the machine's settings or its policy; another flag is none.
    const std::wstring compatibility =
        L"SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\" + clsid;
    const std::wstring compatibilityPolicy =
        L"SOFTWARE\\Policies\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\" + clsid;
    MakeDword(HKEY_LOCAL_MACHINE, compatibility, L"Compatibility Flags", 0x401);
    EXPECT_TRUE(Holds(expectOnly({L"kill-bit"}), JsonText(compatibility.substr(9))));
    MakeDword(HKEY_LOCAL_MACHINE, compatibility, L"Compatibility Flags", 0x1);
    expectOnly({});
    MakeDword(HKEY_LOCAL_MACHINE, compatibilityPolicy, L"Compatibility Flags", 0x400);
    expectOnly({L"kill-bit"});
    DeleteTree(HKEY_LOCAL_MACHINE, compatibilityPolicy);

    const std::wstring addOn =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings\\" + clsid;
    MakeDword(HKEY_CURRENT_USER, addOn, L"Flags", 1);
    expectOnly({L"addon-disabled"});
    DeleteTree(HKEY_CURRENT_USER, addOn);

    // The add-on list: denied by it, or left out of a list that alone is allowed.
    const std::wstring policy = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Ext";
    MakeRaw(HKEY_CURRENT_USER, policy + L"\\CLSID", clsid.c_str(), L"0", 2 * sizeof(wchar_t));
    expectOnly({L"addon-denied-by-policy"});
    MakeDword(HKEY_CURRENT_USER, policy, L"RestrictToList", 1);
    MakeRaw(HKEY_CURRENT_USER, policy + L"\\CLSID", clsid.c_str(), L"1", 2 * sizeof(wchar_t));
    expectOnly({});
    DeleteTree(HKEY_CURRENT_USER, policy + L"\\CLSID");
    expectOnly({L"addon-denied-by-policy"});
    DeleteTree(HKEY_CURRENT_USER, policy);

    // The zones: the user's policy before the user's own setting, the
    // machine's policy before both.
    const std::wstring zones =
        L"Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";
    MakeDword(HKEY_CURRENT_USER, zones, L"1200", 3);
    Outcome denied = RunOrvictl(L"check --json");
    EXPECT_TRUE(Holds(denied.out,
                      L"{\"name\":\"internet\",\"zone\":3,\"activeX\":\"deny\",\"value\":3,"
                      L"\"source\":\"user-policy\"}"))
        << denied.out;
    MakeDword(HKEY_LOCAL_MACHINE, zones, L"1200", 0);
    Outcome allowed = RunOrvictl(L"check --json");
    EXPECT_TRUE(Holds(allowed.out,
                      L"{\"name\":\"internet\",\"zone\":3,\"activeX\":\"allow\",\"value\":0,"
                      L"\"source\":\"machine-policy\"}"))
        << allowed.out;
}

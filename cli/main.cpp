// orvictl's entry: reads the command line and runs one command.
#include "cli/cli.h"

#include "register/register.h"

#include <shellapi.h>

static const wchar_t kMissing[] = L"缺少参数：";
static const wchar_t kExtra[] = L"多余的参数：";
static const wchar_t kUnknownOption[] = L"未知选项：";

static int Equal(const wchar_t *a, const wchar_t *b)
{
    return CompareStringOrdinal(a, -1, b, -1, FALSE) == CSTR_EQUAL;
}

static int UsageError(const wchar_t *what, const wchar_t *argument)
{
    WriteErrLine({what, argument});
    WriteErrLine({L"用法见 orvictl help"});
    return kExitUsage;
}

// list [--json], info PROGID [--json] and history [--json]: the one option
// they take; any other word is an extra argument.
static int TakesJson(int argc, wchar_t **argv, int first, int *json)
{
    *json = 0;
    for (int i = first; i < argc; i++) {
        if (!Equal(argv[i], L"--json"))
            return UsageError(argv[i][0] == L'-' ? kUnknownOption : kExtra, argv[i]);
        *json = 1;
    }
    return kExitDone;
}

// A PROGID argument: an empty one is missing, one that starts with '-' an
// option no command takes. kExitDone when it names a control.
static int TakesProgId(const wchar_t *argument)
{
    if (!argument[0])
        return UsageError(kMissing, L"PROGID");
    if (argument[0] == L'-')
        return UsageError(kUnknownOption, argument);
    return kExitDone;
}

// A record's number as history shows it: 1 to 15 digits, not 0.
static int ParseRecordNumber(const wchar_t *text, ULONGLONG *number)
{
    *number = 0;
    size_t i = 0;
    for (; text[i]; i++) {
        if (text[i] < L'0' || text[i] > L'9' || i >= 15)
            return 0;
        *number = *number * 10 + (ULONGLONG)(text[i] - L'0');
    }
    return *number != 0;
}

static int RunCommand(int argc, wchar_t **argv)
{
    if (argc < 2)
        return UsageError(L"缺少命令", L"");
    const wchar_t *command = argv[1];
    int json = 0;
    if (Equal(command, L"help") || Equal(command, L"--help") || Equal(command, L"/?")) {
        if (argc > 2)
            return UsageError(kExtra, argv[2]);
        WriteUsage();
        return kExitDone;
    }
    if (Equal(command, L"register")) {
        if (argc != 3)
            return UsageError(argc < 3 ? kMissing : kExtra, argc < 3 ? L"路径" : argv[3]);
        return RunRegister(argv[2]);
    }
    if (Equal(command, L"list")) {
        if (TakesJson(argc, argv, 2, &json) != kExitDone)
            return kExitUsage;
        return RunList(json);
    }
    if (Equal(command, L"info")) {
        if (argc < 3 || argv[2][0] == L'-' || !argv[2][0])
            return UsageError(kMissing, L"PROGID");
        if (TakesJson(argc, argv, 3, &json) != kExitDone)
            return kExitUsage;
        return RunInfo(argv[2], json);
    }
    if (Equal(command, L"check")) {
        // check [PROGID] [--json], in either order.
        const wchar_t *progId = NULL;
        for (int i = 2; i < argc; i++) {
            if (Equal(argv[i], L"--json")) {
                json = 1;
                continue;
            }
            if (TakesProgId(argv[i]) != kExitDone)
                return kExitUsage;
            if (progId)
                return UsageError(kExtra, argv[i]);
            progId = argv[i];
        }
        return RunCheck(progId, json);
    }
    if (Equal(command, L"history")) {
        if (TakesJson(argc, argv, 2, &json) != kExitDone)
            return kExitUsage;
        return RunHistory(json);
    }
    if (Equal(command, L"restore")) {
        if (argc < 3 || argc > 4)
            return UsageError(argc < 3 ? kMissing : kExtra, argc < 3 ? L"PROGID" : argv[4]);
        if (TakesProgId(argv[2]) != kExitDone)
            return kExitUsage;
        ULONGLONG number = 0;
        if (argc == 4 && !ParseRecordNumber(argv[3], &number))
            return UsageError(L"记录编号应是 history 显示的数字：", argv[3]);
        return RunRestore(argv[2], number);
    }
    if (Equal(command, L"uninstall")) {
        if (argc != 3)
            return UsageError(argc < 3 ? kMissing : kExtra,
                              argc < 3 ? L"PROGID 或 --all" : argv[3]);
        if (Equal(argv[2], L"--all"))
            return RunUninstallAll();
        if (TakesProgId(argv[2]) != kExitDone)
            return kExitUsage;
        return RunUninstall(argv[2]);
    }
    return UsageError(L"未知命令：", command);
}

int main()
{
    LoadDllsFromSystemFolderOnly();
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return kExitUsage;
    int code = RunCommand(argc, argv);
    LocalFree(argv);
    return code;
}

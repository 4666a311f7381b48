// Composition of a dropped cabinet's report.
#include "base/cabinet_report.h"

#include "base/text.h"

static const wchar_t kNewFolder[] = L"\r\n新建文件夹:";

int ComposeReportHead(wchar_t *dst, size_t cap, const wchar_t *earlier, const wchar_t *path,
                      const wchar_t *folder)
{
    if (ComposeText(dst, cap, {earlier, path, kNewFolder, folder, L"\r\n"}))
        return 1;
    return ComposeText(dst, cap, {kReportAtRest, path, kNewFolder, folder, L"\r\n"});
}

void MaskControlCharacters(wchar_t *text)
{
    for (wchar_t *p = text; *p; p++) {
        if (*p < 0x20)
            *p = L'?';
    }
}

int AppendListLine(wchar_t *report, size_t cap, int *cut, const wchar_t *line)
{
    if (*cut || cap < (size_t)(kStatusLineLength + kCutMarkLength))
        return 0;
    if (AppendText(report, cap - kStatusLineLength - kCutMarkLength, line))
        return 1;
    *cut = 1;
    AppendText(report, cap - kStatusLineLength, L"…\r\n");
    return 0;
}

void EndReport(wchar_t *report, size_t cap, const wchar_t *status)
{
    if (!AppendText(report, cap, status))
        ComposeText(report, cap, {kFileListHeader, L"…\r\n", status});
}

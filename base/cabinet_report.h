// The running report of a dropped cabinet, composed in a fixed buffer: the
// file list is cut at a whole line and always leaves room for the cut mark
// and the status line, so the status line always fits. Free of the Windows
// headers so it can be checked natively.
#pragma once

#include <stddef.h>

// The report at rest, and the two status lines that end a cabinet's report
// (orvictl prints them too).
const wchar_t kReportAtRest[] = L"拖入文件路径:";
const wchar_t kCabinetRegisteredLine[] = L"注册状态:注册成功！";
const wchar_t kCabinetNotRegisteredLine[] = L"注册状态:注册失败！";
const wchar_t kFileListHeader[] = L"解压文件列表:\r\n";

const int kStatusLineLength = 10; // "注册状态:注册成功！"
const int kCutMarkLength = 3;     // "…\r\n"
// Longest extraction folder as wide text: drive, ":/OrviActiveX/", a signed
// 64-bit number and "/".
const int kMaxFolderLength = 40;

// Longest cabinet path whose report head ("拖入文件路径:", the path,
// "\r\n新建文件夹:", the folder and "\r\n") fits a report of cap characters
// whatever the folder, so the head is never cut.
constexpr size_t MaxCabinetPathLength(size_t cap)
{
    return cap - 1 - 7 - 8 - kMaxFolderLength - 2;
}

// Writes into dst (cap characters) the earlier report followed by the
// cabinet path and the new folder; when that does not fit, a fresh head
// without the earlier report. Returns 1, or 0 with dst empty when not even
// the fresh head fits.
int ComposeReportHead(wchar_t *dst, size_t cap, const wchar_t *earlier, const wchar_t *path,
                      const wchar_t *folder);

// Shows control characters as '?', so a stored name cannot fake lines.
void MaskControlCharacters(wchar_t *text);

// Appends one whole line of the file list to report (cap characters). Once a
// line does not fit, the list ends with "…\r\n", *cut is set and later lines
// are left out. Returns 1 when the line was listed.
int AppendListLine(wchar_t *report, size_t cap, int *cut, const wchar_t *line);

// Ends the report with the status line. Should the report hold more than the
// list leaves room for, it is started afresh rather than lose the line.
void EndReport(wchar_t *report, size_t cap, const wchar_t *status);

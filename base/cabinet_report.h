// The running report of a dropped cabinet, composed in a fixed buffer: the
// file list, then the lines that say what went wrong (why unpacking stopped,
// why a control did not register), then the status line. The list is cut at
// a whole line and always leaves room for the cut mark and the status line,
// so the status line always fits; a line after the list takes room from the
// list's end. Free of the Windows headers so it can be checked natively.
#pragma once

#include <stddef.h>

#include <initializer_list>

// The report at rest, and the two status lines that end a cabinet's report
// (orvictl prints them too).
const wchar_t kReportAtRest[] = L"拖入文件路径:";
const wchar_t kCabinetRegisteredLine[] = L"注册状态:注册成功！";
const wchar_t kCabinetNotRegisteredLine[] = L"注册状态:注册失败！";
const wchar_t kFileListHeader[] = L"解压文件列表:\r\n";
// Lines after the list when unpacking went wrong.
const wchar_t kNotACabinetLine[] = L"无法解压:这个文件不是cab文件包或已损坏，请重新获取文件包\r\n";
const wchar_t kUnpackStoppedLine[] =
    L"解压中断:cab文件包已损坏或不完整，没有完整解压的文件不会注册，请重新获取文件包\r\n";

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

// Shows control characters as '?', so a stored name, a path or a reason read
// from a file cannot fake lines: the one rule for every report line either
// program shows.
void MaskControlCharacters(wchar_t *text);

// Where the file list lies in the report, so that the lines after it can
// take room from its end.
struct ReportLayout {
    size_t listStart; // after the header
    size_t listEnd;   // after the last list line (and the cut mark)
    int cut;          // the list ends with the cut mark
    int afterCut;     // a line after the list was left out, and so are later ones
};

// Starts the report (cap characters) with the list header.
void StartFileList(wchar_t *report, size_t cap, ReportLayout *layout);

// Appends one whole line of the file list to report (cap characters). Once a
// line does not fit, the list ends with "…\r\n", layout->cut is set and
// later lines are left out. Returns 1 when the line was listed.
int AppendListLine(wchar_t *report, size_t cap, ReportLayout *layout, const wchar_t *line);
// The list line of a stored name that was refused: "拒绝解压(文件名不合法):PATH".
int AppendRefusedLine(wchar_t *report, size_t cap, ReportLayout *layout, const wchar_t *path);

// Appends a line after the list, made of parts, before the status line. When
// it does not fit, lines are taken from the list's end (the cut mark shows
// where) until it does; when even the whole list leaves too little room, it
// and every later line are left out. Returns 1 when the line was appended.
int AppendAfterList(wchar_t *report, size_t cap, ReportLayout *layout,
                    std::initializer_list<const wchar_t *> parts);
// The line of a control file that did not register: "注册失败:PATH 原因:REASON",
// control characters of PATH and REASON masked.
int AppendFailureLine(wchar_t *report, size_t cap, ReportLayout *layout, const wchar_t *path,
                      const wchar_t *reason);

// The reason a cabinet's control file whose ending is in another letter case
// (".OCX") was not registered, naming the ending it needs:
// "扩展名不是小写的.ocx，没有注册". Returns 0 when it does not fit.
int ComposeMisnamedReason(wchar_t *reason, size_t cap, const wchar_t *ending);

// Ends the report with the status line. Should the report hold more than the
// list leaves room for, it is started afresh rather than lose the line.
void EndReport(wchar_t *report, size_t cap, const wchar_t *status);

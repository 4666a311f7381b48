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

// The one masking rule, over n characters of text.
static void MaskCharacters(wchar_t *text, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (text[i] < 0x20)
            text[i] = L'?';
    }
}

void MaskControlCharacters(wchar_t *text)
{
    MaskCharacters(text, TextLength(text));
}

static size_t PartsLength(std::initializer_list<const wchar_t *> parts)
{
    size_t n = 0;
    for (const wchar_t *part : parts)
        n += TextLength(part);
    return n;
}

// Writes the parts at report[at] and ends the text there; the caller has
// made sure they fit.
static void WriteParts(wchar_t *report, size_t at, std::initializer_list<const wchar_t *> parts)
{
    for (const wchar_t *part : parts) {
        for (size_t i = 0; part[i]; i++)
            report[at++] = part[i];
    }
    report[at] = 0;
}

// Moves count characters from report[from] to report[to]; the ranges may overlap.
static void MoveCharacters(wchar_t *report, size_t from, size_t to, size_t count)
{
    if (to < from) {
        for (size_t i = 0; i < count; i++)
            report[to + i] = report[from + i];
    } else {
        for (size_t i = count; i > 0; i--)
            report[to + i - 1] = report[from + i - 1];
    }
}

void StartFileList(wchar_t *report, size_t cap, ReportLayout *layout)
{
    CopyText(report, cap, kFileListHeader);
    size_t used = TextLengthWithin(report, cap);
    *layout = {used, used, 0, 0};
}

static int AppendListParts(wchar_t *report, size_t cap, ReportLayout *layout,
                           std::initializer_list<const wchar_t *> parts)
{
    if (layout->cut || cap < (size_t)(kStatusLineLength + kCutMarkLength))
        return 0;
    size_t used = TextLengthWithin(report, cap);
    // The list is whole before anything follows it.
    if (used != layout->listEnd)
        return 0;
    size_t n = PartsLength(parts);
    size_t limit = cap - kStatusLineLength - kCutMarkLength;
    if (used < limit && n < limit - used) {
        WriteParts(report, used, parts);
        layout->listEnd = used + n;
        return 1;
    }
    layout->cut = 1;
    AppendText(report, cap - kStatusLineLength, L"…\r\n");
    layout->listEnd = TextLengthWithin(report, cap);
    return 0;
}

int AppendListLine(wchar_t *report, size_t cap, ReportLayout *layout, const wchar_t *line)
{
    return AppendListParts(report, cap, layout, {line});
}

int AppendRefusedLine(wchar_t *report, size_t cap, ReportLayout *layout, const wchar_t *path)
{
    return AppendListParts(report, cap, layout, {L"拒绝解压(文件名不合法):", path, L"\r\n"});
}

// Where the list must end (a line boundary, before the cut mark) for more
// characters after the mark to fit within limit; 0 when not even an empty
// list leaves room.
static int FindListEnd(const wchar_t *report, const ReportLayout *layout, size_t more, size_t limit,
                       size_t *keep)
{
    size_t end = layout->cut ? layout->listEnd - kCutMarkLength : layout->listEnd;
    for (;;) {
        if (end + kCutMarkLength + more < limit) {
            *keep = end;
            return 1;
        }
        if (end <= layout->listStart)
            return 0;
        // Back to the start of the line that ends here.
        size_t start = end - 1;
        while (start > layout->listStart && report[start - 1] != L'\n')
            start--;
        end = start;
    }
}

int AppendAfterList(wchar_t *report, size_t cap, ReportLayout *layout,
                    std::initializer_list<const wchar_t *> parts)
{
    size_t used = TextLengthWithin(report, cap);
    if (layout->afterCut || cap <= (size_t)kStatusLineLength || used >= cap ||
        layout->listStart > layout->listEnd || layout->listEnd > used ||
        (layout->cut && layout->listEnd - layout->listStart < (size_t)kCutMarkLength)) {
        layout->afterCut = 1;
        return 0;
    }
    size_t n = PartsLength(parts);
    size_t limit = cap - kStatusLineLength;
    if (used < limit && n < limit - used) {
        WriteParts(report, used, parts);
        return 1;
    }
    // Room from the list's end: whole lines go, the cut mark shows where.
    size_t after = used - layout->listEnd;
    size_t keep = 0;
    if (!FindListEnd(report, layout, after + n, limit, &keep)) {
        layout->afterCut = 1;
        return 0;
    }
    MoveCharacters(report, layout->listEnd, keep + kCutMarkLength, after);
    const wchar_t mark[] = L"…\r\n";
    for (size_t i = 0; i < (size_t)kCutMarkLength; i++)
        report[keep + i] = mark[i];
    layout->listEnd = keep + kCutMarkLength;
    layout->cut = 1;
    WriteParts(report, layout->listEnd + after, parts);
    return 1;
}

int AppendFailureLine(wchar_t *report, size_t cap, ReportLayout *layout, const wchar_t *path,
                      const wchar_t *reason)
{
    if (!AppendAfterList(report, cap, layout, {L"注册失败:", path, L" 原因:", reason, L"\r\n"}))
        return 0;
    // The line ends the report. Its path and reason may come from the file
    // (an imported DLL's name): masked, they cannot start lines of their own.
    size_t end = TextLengthWithin(report, cap) - 2;
    size_t n = PartsLength({path, L" 原因:", reason});
    MaskCharacters(report + end - n, n);
    return 1;
}

int ComposeMisnamedReason(wchar_t *reason, size_t cap, const wchar_t *ending)
{
    return ComposeText(reason, cap, {L"扩展名不是小写的", ending, L"，没有注册"});
}

void EndReport(wchar_t *report, size_t cap, const wchar_t *status)
{
    if (!AppendText(report, cap, status))
        ComposeText(report, cap, {kFileListHeader, L"…\r\n", status});
}

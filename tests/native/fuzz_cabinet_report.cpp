// Fuzzes the cabinet report: whatever the size of the report and the lines
// unpacked, the head is whole or absent, the file list holds whole lines (a
// prefix of the unpacked ones, control characters masked) then at most one
// cut mark, the lines after the list follow in order, as many as fit, taking
// only the list lines they need, and a list started with room for it always
// ends with the status line. AddressSanitizer watches the exact-size report
// buffer.
#include "base/cabinet_report.h"

#include "base/text.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

static const wchar_t kStatus[] = L"注册状态:注册失败！";

static wchar_t Widen(uint8_t byte)
{
    return (wchar_t)(byte < 0xE0 ? byte : 0x4E00 + byte);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    size_t cap = 1 + data[0] * 4;
    std::vector<std::wstring> parts(1);
    for (size_t i = 1; i < size; i++) {
        if (data[i] == 0)
            parts.emplace_back();
        else
            parts.back() += Widen(data[i]);
    }
    std::vector<wchar_t> report(cap, L'#');

    // The head: earlier report, path and folder from the first three parts.
    parts.resize(std::max<size_t>(parts.size(), 3));
    const std::wstring &earlier = parts[0], &path = parts[1], &folder = parts[2];
    std::wstring joined = earlier + path + L"\r\n新建文件夹:" + folder + L"\r\n";
    std::wstring fresh = L"拖入文件路径:" + path + L"\r\n新建文件夹:" + folder + L"\r\n";
    int head = ComposeReportHead(report.data(), cap, earlier.c_str(), path.c_str(), folder.c_str());
    std::wstring expectHead = joined.size() < cap ? joined : fresh.size() < cap ? fresh : L"";
    if (head != (expectHead.empty() ? 0 : 1) || expectHead != report.data())
        abort();

    // The list: every further part is one unpacked path, until a part that
    // starts with byte 1: from there on each part is a line after the list.
    ReportLayout layout;
    StartFileList(report.data(), cap, &layout);
    const std::wstring start = report.data();
    bool roomy = start.size() + kStatusLineLength + kCutMarkLength < cap;
    std::vector<std::wstring> listLines, afterLines;
    size_t i = 3;
    for (; i < parts.size() && (parts[i].empty() || parts[i][0] != 1); i++) {
        std::wstring line = parts[i];
        MaskControlCharacters(&line[0]);
        for (wchar_t c : line) {
            if ((unsigned)c < 0x20)
                abort();
        }
        listLines.push_back(line + L"\r\n");
    }
    for (; i < parts.size(); i++) {
        bool marked = !parts[i].empty() && parts[i][0] == 1;
        afterLines.push_back(parts[i].substr(marked ? 1 : 0) + L"\r\n");
    }

    size_t listed = 0;
    for (const std::wstring &line : listLines) {
        if (AppendListLine(report.data(), cap, &layout, line.c_str())) {
            if (listed < (size_t)(&line - &listLines[0]))
                abort(); // a line after a left-out one
            listed++;
        }
        if (TextLengthWithin(report.data(), cap) >= cap)
            abort();
    }
    std::wstring list = start;
    for (size_t k = 0; k < listed; k++)
        list += listLines[k];
    std::wstring got = report.data();
    if (got != list && got != list + L"…\r\n")
        abort();
    if (roomy && (got != list) != (layout.cut == 1))
        abort();

    size_t after = 0;
    for (const std::wstring &line : afterLines) {
        if (AppendAfterList(report.data(), cap, &layout, {line.c_str()})) {
            if (after < (size_t)(&line - &afterLines[0]))
                abort(); // in order only
            after++;
        }
        if (TextLengthWithin(report.data(), cap) >= cap)
            abort();
    }
    std::wstring tail;
    for (size_t k = 0; k < after; k++)
        tail += afterLines[k];

    EndReport(report.data(), cap, kStatus);
    std::wstring end = report.data();
    if (!end.empty() && (end.size() < 10 || end.compare(end.size() - 10, 10, kStatus) != 0))
        abort();
    if (!roomy)
        return 0;
    // Whole list lines (a prefix of those listed), the cut mark when any is
    // missing, the lines after the list in order, the status line.
    size_t kept = 0;
    std::wstring keptList = start;
    while (kept < listed && end.compare(0, keptList.size() + listLines[kept].size(),
                                        keptList + listLines[kept]) == 0)
        keptList += listLines[kept++];
    std::wstring mark = kept < listLines.size() ? L"…\r\n" : L"";
    if (end != keptList + mark + tail + kStatus)
        abort();
    // Each line left out would not fit even after an empty list.
    if (after < afterLines.size() &&
        (start + L"…\r\n" + tail + afterLines[after] + kStatus).size() < cap)
        abort();
    // List lines were taken for lines after the list only as far as needed.
    if (kept < listed && (keptList + listLines[kept] + L"…\r\n" + tail + kStatus).size() < cap)
        abort();
    return 0;
}

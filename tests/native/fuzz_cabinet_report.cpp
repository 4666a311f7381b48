// Fuzzes the cabinet report: whatever the size of the report and the lines
// unpacked, the head is whole or absent, the file list holds whole lines (a
// prefix of the unpacked ones, control characters masked) then at most one
// cut mark, and a list started with room for it always ends with the status
// line. AddressSanitizer watches the exact-size report buffer.
#include "base/cabinet_report.h"

#include "base/text.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

static const wchar_t kHeader[] = L"解压文件列表:\r\n";
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

    // The list: every further part is one unpacked path.
    if (!CopyText(report.data(), cap, kHeader))
        report[0] = 0;
    std::wstring expected = report.data();
    bool roomy = expected.size() + kStatusLineLength + kCutMarkLength < cap;
    int cut = 0;
    bool refused = false;
    for (size_t i = 3; i < parts.size(); i++) {
        std::wstring line = parts[i];
        MaskControlCharacters(&line[0]);
        for (wchar_t c : line) {
            if ((unsigned)c < 0x20)
                abort();
        }
        line += L"\r\n";
        if (AppendListLine(report.data(), cap, &cut, line.c_str())) {
            if (refused)
                abort(); // a line after a left-out one
            expected += line;
        } else {
            refused = true;
        }
        if (TextLengthWithin(report.data(), cap) >= cap)
            abort();
    }
    std::wstring list = report.data();
    if (list != expected && list != expected + L"…\r\n")
        abort();
    if ((list != expected) != (cut == 1) && roomy)
        abort();

    EndReport(report.data(), cap, kStatus);
    std::wstring end = report.data();
    if (roomy && end != list + kStatus)
        abort();
    if (!end.empty() && end.compare(end.size() - 10, 10, kStatus) != 0)
        abort();
    return 0;
}

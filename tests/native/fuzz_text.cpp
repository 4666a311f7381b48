// Fuzzes the bounded text helpers: whatever the parts and the capacity, the
// result either is the whole joined text or empty, and nothing outside the
// buffer is touched (AddressSanitizer watches the exact-size heap buffer).
#include "base/text.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    size_t cap = data[0] % 64;
    std::vector<std::wstring> parts(1);
    for (size_t i = 1; i < size; i++) {
        if (data[i] == 0)
            parts.emplace_back();
        else
            parts.back() += (wchar_t)data[i];
    }
    std::wstring joined;
    for (const std::wstring &p : parts)
        joined += p;
    wchar_t *buf = cap ? new wchar_t[cap] : nullptr;
    wchar_t dummy;
    wchar_t *dst = cap ? buf : &dummy;
    int ok = parts.size() >= 3
                 ? ComposeText(dst, cap, {parts[0].c_str(), parts[1].c_str(), parts[2].c_str()})
                 : ComposeText(dst, cap, {parts[0].c_str()});
    if (ok) {
        std::wstring expect = parts.size() >= 3 ? parts[0] + parts[1] + parts[2] : parts[0];
        if (expect.size() >= cap || expect != dst)
            abort();
    } else if (cap && dst[0] != 0) {
        abort();
    }
    if (cap) {
        std::wstring before = dst;
        int appended = AppendText(dst, cap, joined.c_str());
        if (appended ? before + joined != dst : before != dst)
            abort();
        HasEnding(dst, L".ocx");
    }
    delete[] buf;
    return 0;
}

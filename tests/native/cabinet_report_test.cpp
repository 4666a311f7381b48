// The running report of a dropped cabinet: its head, the file list cut at a
// whole line, and the status line that always ends it.
#include "base/cabinet_report.h"

#include "base/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const size_t kCap = 1000; // the tool's report size
const wchar_t kSuccess[] = L"注册状态:注册成功！";

TEST(CabinetReport, HeadFollowsTheEarlierReportOrStartsAfresh)
{
    wchar_t head[64];
    EXPECT_EQ(1, ComposeReportHead(head, 64, L"拖入文件路径:", L"C:\\a.cab", L"C:/OrviActiveX/5/"));
    EXPECT_STREQ(L"拖入文件路径:C:\\a.cab\r\n新建文件夹:C:/OrviActiveX/5/\r\n", head);

    std::wstring earlier(40, L'e');
    EXPECT_EQ(1, ComposeReportHead(head, 64, earlier.c_str(), L"C:\\a.cab", L"C:/OrviActiveX/5/"));
    EXPECT_STREQ(L"拖入文件路径:C:\\a.cab\r\n新建文件夹:C:/OrviActiveX/5/\r\n", head);

    EXPECT_EQ(0, ComposeReportHead(head, 20, L"", L"C:\\a.cab", L"C:/OrviActiveX/5/"));
    EXPECT_STREQ(L"", head);
}

TEST(CabinetReport, LongestAcceptedPathAndFolderFillTheReportExactly)
{
    std::wstring path(MaxCabinetPathLength(kCap), L'p');
    std::wstring folder(kMaxFolderLength, L'f');
    wchar_t head[kCap];
    ASSERT_EQ(1, ComposeReportHead(head, kCap, L"拖入文件路径:", path.c_str(), folder.c_str()));
    EXPECT_EQ(kCap - 1, TextLength(head));
    path += L'p';
    EXPECT_EQ(0, ComposeReportHead(head, kCap, L"拖入文件路径:", path.c_str(), folder.c_str()));
}

TEST(CabinetReport, ListIsCutAtAWholeLineAndTheStatusLineAlwaysFits)
{
    for (size_t lineLength : {1u, 2u, 7u, 100u, 986u, 987u}) {
        SCOPED_TRACE(lineLength);
        wchar_t report[kCap] = L"解压文件列表:\r\n";
        std::wstring line(lineLength - 1, L'n');
        line += L'\n';
        int cut = 0;
        size_t listed = 0;
        while (AppendListLine(report, kCap, &cut, line.c_str()))
            listed++;
        EXPECT_EQ(1, cut);
        EXPECT_EQ(0, AppendListLine(report, kCap, &cut, L"x")) << "nothing after the cut";
        EndReport(report, kCap, kSuccess);

        std::wstring expected = L"解压文件列表:\r\n";
        for (size_t i = 0; i < listed; i++)
            expected += line;
        expected += L"…\r\n";
        expected += kSuccess;
        EXPECT_EQ(expected, report);
        EXPECT_LT(expected.size(), kCap);
    }
}

TEST(CabinetReport, StatusLineReplacesAReportWithoutRoomForIt)
{
    wchar_t report[kCap];
    std::wstring full(kCap - 5, L'x');
    CopyText(report, kCap, full.c_str());
    EndReport(report, kCap, kSuccess);
    EXPECT_EQ(std::wstring(L"解压文件列表:\r\n…\r\n") + kSuccess, report);

    wchar_t small[8] = L"abc";
    EndReport(small, 8, kSuccess);
    EXPECT_STREQ(L"", small) << "refused whole, never cut";
    int cut = 0;
    EXPECT_EQ(0, AppendListLine(small, 8, &cut, L"")) << "no room for a list at all";
}

TEST(CabinetReport, ControlCharactersAreShownAsQuestionMarks)
{
    wchar_t text[] = L"a\r\nb\tc\x1f\x20中";
    MaskControlCharacters(text);
    EXPECT_STREQ(L"a??b?c? 中", text);
}

} // namespace

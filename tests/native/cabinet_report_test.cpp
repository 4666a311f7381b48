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
        wchar_t report[kCap];
        ReportLayout layout;
        StartFileList(report, kCap, &layout);
        std::wstring line(lineLength - 1, L'n');
        line += L'\n';
        size_t listed = 0;
        while (AppendListLine(report, kCap, &layout, line.c_str()))
            listed++;
        EXPECT_EQ(1, layout.cut);
        EXPECT_EQ(0, AppendListLine(report, kCap, &layout, L"x")) << "nothing after the cut";
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
    ReportLayout layout = {};
    EXPECT_EQ(0, AppendListLine(small, 8, &layout, L"")) << "no room for a list at all";
}

const wchar_t kFailure[] = L"注册状态:注册失败！";
const wchar_t kFolder[] = L"C:/OrviActiveX/1700000000/";

// A report of listed lines "C:/OrviActiveX/1700000000/fNNN.txt" until the list is cut.
size_t FillList(wchar_t *report, ReportLayout *layout)
{
    StartFileList(report, kCap, layout);
    size_t listed = 0;
    for (;;) {
        std::wstring line = kFolder + std::to_wstring(100 + listed) + L".txt\r\n";
        if (!AppendListLine(report, kCap, layout, line.c_str()))
            return listed;
        listed++;
    }
}

std::wstring Listed(size_t count)
{
    std::wstring list = L"解压文件列表:\r\n";
    for (size_t i = 0; i < count; i++)
        list += kFolder + std::to_wstring(100 + i) + L".txt\r\n";
    return list;
}

TEST(CabinetReport, RefusedNamesAndFailuresHaveLinesOfTheirOwn)
{
    wchar_t report[kCap];
    ReportLayout layout;
    StartFileList(report, kCap, &layout);
    std::wstring good = std::wstring(kFolder) + L"a.ocx";
    EXPECT_EQ(1, AppendListLine(report, kCap, &layout, (good + L"\r\n").c_str()));
    EXPECT_EQ(1, AppendRefusedLine(report, kCap, &layout,
                                   (std::wstring(kFolder) + L"sub\\b.ocx").c_str()));
    EXPECT_EQ(1, AppendAfterList(report, kCap, &layout, {kUnpackStoppedLine}));
    EXPECT_EQ(1,
              AppendFailureLine(report, kCap, &layout, good.c_str(), L"找不到它需要的DLL：x.dll"));
    EndReport(report, kCap, kFailure);
    EXPECT_EQ(L"解压文件列表:\r\n" + good + L"\r\n拒绝解压(文件名不合法):" + kFolder +
                  L"sub\\b.ocx\r\n" + kUnpackStoppedLine + L"注册失败:" + good +
                  L" 原因:找不到它需要的DLL：x.dll\r\n" + kFailure,
              report);
    EXPECT_EQ(0, AppendListLine(report, kCap, &layout, L"late\r\n")) << "the list is over";
}

// Lines after a cut list take its last lines, whole, behind the cut mark;
// the status line still ends the report.
TEST(CabinetReport, FailureLinesTakeRoomFromTheListsEnd)
{
    wchar_t report[kCap];
    ReportLayout layout;
    size_t listed = FillList(report, &layout);
    ASSERT_GT(listed, 20u);
    std::wstring reason(60, L'r');
    std::wstring first = L"注册失败:" + std::wstring(kFolder) + L"a.ocx 原因:" + reason + L"\r\n";
    std::wstring second = L"注册失败:" + std::wstring(kFolder) + L"b.ocx 原因:" + reason + L"\r\n";
    ASSERT_EQ(1, AppendFailureLine(report, kCap, &layout,
                                   (std::wstring(kFolder) + L"a.ocx").c_str(), reason.c_str()));
    ASSERT_EQ(1, AppendFailureLine(report, kCap, &layout,
                                   (std::wstring(kFolder) + L"b.ocx").c_str(), reason.c_str()));
    EndReport(report, kCap, kFailure);

    std::wstring text = report;
    ASSERT_LT(text.size(), kCap);
    // As many list lines as leave room, not one more.
    size_t kept = 0;
    while (kept <= listed &&
           (Listed(kept + 1) + L"…\r\n" + first + second + kFailure).size() < kCap)
        kept++;
    EXPECT_LT(kept, listed);
    EXPECT_EQ(Listed(kept) + L"…\r\n" + first + second + kFailure, text);
}

TEST(CabinetReport, FailureLinesThatNeverFitAreLeftOutWithTheLaterOnes)
{
    wchar_t report[kCap];
    ReportLayout layout;
    FillList(report, &layout);
    std::wstring fits(100, L'f'), huge(kCap, L'h');
    EXPECT_EQ(1, AppendFailureLine(report, kCap, &layout, L"a.ocx", fits.c_str()));
    EXPECT_EQ(0, AppendFailureLine(report, kCap, &layout, L"b.ocx", huge.c_str()));
    EXPECT_EQ(0, AppendFailureLine(report, kCap, &layout, L"c.ocx", L"short")) << "in order only";
    EndReport(report, kCap, kFailure);
    std::wstring text = report;
    EXPECT_NE(std::wstring::npos, text.find(L"注册失败:a.ocx 原因:" + fits + L"\r\n" + kFailure));
    EXPECT_EQ(std::wstring::npos, text.find(L"c.ocx"));
    EXPECT_LT(text.size(), kCap);
}

TEST(CabinetReport, ControlCharactersAreShownAsQuestionMarks)
{
    wchar_t text[] = L"a\r\nb\tc\x1f\x20中";
    MaskControlCharacters(text);
    EXPECT_STREQ(L"a??b?c? 中", text);
}

} // namespace

// The installed-control query: which keys below HKEY_CLASSES_ROOT are listed,
// in which order, and the query button's answer when none is.
#include "support/test_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "controls/actions.h"

#include <gtest/gtest.h>

#include <algorithm>

static const wchar_t *const kNotListed[] = {
    L"ORVI",
    L"ORV",
    L"orvi.querylower",
    L"PDF.oQuery",
    L"TIF.OrviDocument",
    // A character written with two bytes in code page 936 among the first five.
    L"ORV中I.Query",
    L"ORVI中Query",
    L"中ORVI.",
    // Look-alike letters. Code page 936 writes the full-width letters and the
    // dotted capital I as characters of their own (or the default character),
    // but maps the eth and the accented capital Y to "D" and "Y" by best fit;
    // a Western code page best-fits all four.
    L"ＯＲＶＩ.FullWidth",
    L"ORVİ.DottedI",
    L"PÐF.OEth",
    L"VÝ.OfAccent",
};

// The keys the tool lists, in registry order (names compared without case).
static const std::vector<std::wstring> kListedInOrder = {
    L"ORVI.",           L"ORVI.QueryCaseA", L"Orvi.QueryCaseB", L"ORVI.QueryVer",
    L"ORVI.QueryVer.1", L"ORVI.中文名",     L"PDF.Oanything",   L"VY.OfQuery",
};

class QueryTest : public UninstallPageTest {
protected:
    void MakeNotListed(Caller = {})
    {
        for (const wchar_t *k : kNotListed)
            Make(HKEY_CLASSES_ROOT, k, L"query test");
    }
    void MakeAll(Caller = {})
    {
        // Made in the reverse of the order they are listed in.
        for (auto k = kListedInOrder.rbegin(); k != kListedInOrder.rend(); ++k)
            Make(HKEY_CLASSES_ROOT, *k, L"query test");
        MakeNotListed();
    }
};

TEST_F(QueryTest, AnsiCodePageIsChinese)
{
    // The two-byte cases below rely on it.
    ASSERT_EQ(GetACP(), 936u);
}

TEST_F(QueryTest, ListsFamilyNamesInRegistryOrder)
{
    ASSERT_EQ(GetACP(), 936u);
    MakeAll();
    int count = QueryInstalledControls();
    std::vector<std::wstring> entries = ListEntries();
    EXPECT_EQ(count, (int)entries.size());
    // Each listed once, in registry order; none of the names that do not count.
    EXPECT_EQ(kListedInOrder, entries);
}

TEST_F(QueryTest, SecondQueryGivesTheSameListWithoutDuplicates)
{
    MakeAll();
    SendMessageW(g_controlList, LB_ADDSTRING, 0, (LPARAM)L"stale entry");
    PressQuery();
    std::vector<std::wstring> first = ListEntries();
    PressQuery();
    std::vector<std::wstring> second = ListEntries();
    EXPECT_EQ(first, second);
    EXPECT_EQ(kListedInOrder, second);
    EXPECT_EQ(std::count(second.begin(), second.end(), std::wstring(L"stale entry")), 0);
    // A filled list is the answer: no message.
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(QueryTest, NothingInstalledSaysSoAndLeavesTheListEmpty)
{
    // Names close to the family that still do not count.
    MakeNotListed();
    SendMessageW(g_controlList, LB_ADDSTRING, 0, (LPARAM)L"stale entry");
    EXPECT_EQ(QueryInstalledControls(), 0);
    EXPECT_TRUE(ListEntries().empty());

    SendMessageW(g_controlList, LB_ADDSTRING, 0, (LPARAM)L"stale entry");
    PressQuery();
    EXPECT_TRUE(ListEntries().empty());
    EXPECT_BOX(window, L"提示", L"当前电脑没有安装控件！", kOkBox);
}

TEST_F(QueryTest, FamilyNamesOf255CharactersAreListedWhole)
{
    const std::wstring upper = L"ORVI." + std::wstring(250, L'U');
    const std::wstring mixed = L"Orvi." + std::wstring(250, L'm');
    // 255 characters, 505 bytes in code page 936.
    const std::wstring chinese = L"PDF.O" + std::wstring(250, L'中');
    const std::wstring other = L"ORVi." + std::wstring(250, L'x');
    for (const std::wstring &name : {upper, mixed, chinese, other})
        Make(HKEY_CLASSES_ROOT, name);
    EXPECT_EQ(3, QueryInstalledControls());
    EXPECT_EQ((std::vector<std::wstring>{mixed, upper, chinese}), ListEntries());
}

// The set-up the drop and cabinet tests share: boxes answered by the hook, no
// family keys, a fresh scratch folder (removed afterwards) and the real main
// window to drop on.
#pragma once

#include "support/test_support.h"

#include <gtest/gtest.h>

// The refusal of a path the registrar or the decompressor cannot take whole.
const wchar_t kTooLong[] = L"ERROR:拖入文件路径过长！";

class DropFixture : public MainWindowTest {
protected:
    // With logRuns the test server logs each run to log.
    DropFixture(const wchar_t *scratchName, bool logRuns)
        : scratchName_(scratchName), logRuns_(logRuns)
    {
    }

    // The window comes last and goes first, as MainWindowTest asks.
    void SetUp() override
    {
        dir = MakeScratchDir(scratchName_);
        log = dir + L"\\server.log";
        SetEnv(L"ORVI_TEST_LOG", logRuns_ ? log.c_str() : NULL);
        SetEnv(L"ORVI_TEST_FAIL", NULL);
        MainWindowTest::SetUp();
    }

    void TearDown() override
    {
        MainWindowTest::TearDown();
        SetEnv(L"ORVI_TEST_LOG", NULL);
        SetEnv(L"ORVI_TEST_FAIL", NULL);
        RemoveTree(dir);
    }

    std::wstring InDir(const std::wstring &name)
    {
        return dir + L"\\" + name;
    }

    std::wstring CopyServer(const std::wstring &name, Caller = {})
    {
        std::wstring path = InDir(name);
        EXPECT_TRUE(CopyFileW(TestServerPath().c_str(), path.c_str(), FALSE)) << path.size();
        return path;
    }

    std::wstring dir, log;

private:
    const wchar_t *scratchName_;
    bool logRuns_;
};

// Names and texts more than one test program checks against: what the test
// server registers unless its environment says otherwise, and the texts of
// the tool's own boxes.
#pragma once

// The test server's defaults (tests/com_server/testctl.cpp registers these).
const wchar_t kTestServerProgId[] = L"ORVI.TestCtl";
const wchar_t kTestServerClsid[] = L"{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4D}";
const wchar_t kTestServerTypeLib[] = L"{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4E}";
const wchar_t kTestServerIid[] = L"{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4F}";

// The tool's boxes.
const wchar_t kHintCaption[] = L"提示";
const wchar_t kQueryFirstText[] = L"请点击查询安装按钮！";
const wchar_t kNothingInstalledText[] = L"当前电脑没有安装控件！";
const wchar_t kUninstallOneQuestion[] = L"   是否卸载？";

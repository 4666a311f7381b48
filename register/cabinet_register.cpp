// PLACEHOLDER until cabinet registration is built.
#include "register/register.h"

wchar_t g_statusText[kStatusTextSize] = L"拖入文件路径:";

void RegisterCabinet(const wchar_t *) {}

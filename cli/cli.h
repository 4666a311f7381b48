// orvictl: the tool's engine from the command line, for scripts that roll
// controls out to many PCs. It links the engine (register/, controls/) and
// the base layer only, never the window.
#pragma once

#include <windows.h>

#include <initializer_list>

#include "base/limits.h"

// Exit codes.
const int kExitDone = 0;
const int kExitFailed = 1;
const int kExitUsage = 2;
const int kExitNotElevated = 3;

// ---- output ------------------------------------------------------------------
// A console gets Unicode through WriteConsoleW; a file or pipe gets UTF-8.
void WriteOut(const wchar_t *text);
void WriteOutLine(std::initializer_list<const wchar_t *> parts);
void WriteErrLine(std::initializer_list<const wchar_t *> parts);
// A JSON string with its quotes; NULL writes null.
void WriteJsonString(const wchar_t *text);
// "name": value, preceded by a comma unless first.
void WriteJsonField(const wchar_t *name, const wchar_t *value, int first);
void WriteJsonBool(const wchar_t *name, int value, int first);

// ---- commands -------------------------------------------------------------------
int RunRegister(const wchar_t *path);
int RunList(int json);
int RunInfo(const wchar_t *progId, int json);
struct ControlServers;
// ,"views":[...] of info and check: each view that holds the class, own first.
void WriteViewsJson(const ControlServers *servers);
// The installed control of the family named progId, as the registry spells
// it, in name (kKeyNameSize); 0 when there is none.
int FindInstalledControl(const wchar_t *progId, wchar_t *name);
// The view of servers' server at index as JSON ("native", "32-bit") and the
// lines ("本机", ...) name it.
const wchar_t *ViewName(const ControlServers *servers, int index);
const wchar_t *ViewText(const ControlServers *servers, int index);

// ---- check ------------------------------------------------------------------------
// Whether the browser will load each installed control (progId NULL: all).
int RunCheck(const wchar_t *progId, int json);
int RunUninstall(const wchar_t *progId);
int RunUninstallAll();
void WriteUsage();
// 1 when the process may change machine-wide registrations.
int IsElevated();
// Says that administrator rights are needed; kExitNotElevated.
int RefuseNotElevated();

// ---- record commands ------------------------------------------------------------
int RunHistory(int json);
// number 0: the newest record that can bring the control back.
int RunRestore(const wchar_t *progId, ULONGLONG number);
// Finishes the removals a process left unfinished, saying so on stderr.
void FinishInterruptedRemovalsAndSay();

// orvictl's commands over the removal records: the records listed, a removal
// turned back, and removals that a process left unfinished finished at start.
#include "cli/cli.h"

#include "base/text.h"
#include "controls/records.h"

static void WriteFinished(const wchar_t *progId, void *)
{
    WriteErrLine({L"已完成中断的卸载：", progId});
}

void FinishInterruptedRemovals()
{
    FinishUnfinishedRemovals(WriteFinished, NULL);
}

// ---- history ---------------------------------------------------------------------

struct HistoryState {
    int json;
    int count;
};

static void HistoryOne(const RecordState *record, void *context)
{
    HistoryState *state = (HistoryState *)context;
    int done = RecordIsDone(record);
    if (state->json) {
        WriteOut(state->count ? L",{" : L"{");
        WriteJsonField(L"progId", record->progId, 1);
        WriteJsonField(L"time", record->time, 0);
        WriteJsonField(L"serverPath", record->serverPath[0] ? record->serverPath : NULL, 0);
        WriteJsonBool(L"done", done, 0);
        WriteOut(L"}");
    } else {
        WriteOutLine({record->time, L"  ", record->progId, L"  ",
                      record->serverPath[0] ? record->serverPath : L"（没有服务器文件）", L"  ",
                      done ? L"已完成" : L"未完成"});
    }
    state->count++;
}

int RunHistory(int json)
{
    HistoryState state = {json, 0};
    if (json)
        WriteOut(L"{\"records\":[");
    ForEachRecord(HistoryOne, &state);
    if (json) {
        wchar_t digits[kDecimalSize] = {};
        FormatDecimal(digits, kDecimalSize, state.count);
        WriteOutLine({L"],\"count\":", (const wchar_t *)digits, L"}"});
    } else if (state.count == 0) {
        WriteOutLine({L"没有卸载记录。"});
    }
    return kExitDone;
}

// ---- restore -----------------------------------------------------------------------

// The line of a restore that did not go through; the record is named by its
// control and the server path it holds.
static void WriteRestoreFailure(int outcome, const RestoreResult *result)
{
    const wchar_t *path = result->state.serverPath;
    switch (outcome) {
    case kRestoreOtherFile:
        WriteOutLine({L"恢复失败：服务器文件的位置已有另一个文件：", path});
        break;
    case kRestoreNoFolder:
        WriteOutLine({L"恢复失败：服务器文件的文件夹已不存在：", path});
        break;
    case kRestoreLinkInPath:
        WriteOutLine({L"恢复失败：服务器文件的路径中有连接点或符号链接：", path});
        break;
    case kRestoreNoCopy:
        WriteOutLine({L"恢复失败：卸载记录中没有服务器文件的副本：", path});
        break;
    case kRestoreFileFailed:
        WriteOutLine({L"恢复失败：无法写入服务器文件：", path});
        break;
    case kRestoreBadRecord:
        WriteOutLine({L"恢复失败：卸载记录已损坏：", result->state.progId});
        break;
    default:
        WriteOutLine({L"恢复失败：无法写入注册表项：", result->failedKey});
        break;
    }
}

int RunRestore(const wchar_t *progId)
{
    if (!IsElevated())
        return RefuseNotElevated();
    static RestoreResult result;
    int outcome = RestoreNewestRecord(progId, &result);
    if (outcome == kRestoreNoRecord) {
        WriteOutLine({L"没有这个控件的卸载记录：", progId});
        return kExitFailed;
    }
    if (outcome != kRestored) {
        WriteRestoreFailure(outcome, &result);
        return kExitFailed;
    }
    const wchar_t *path = result.state.serverPath;
    if (result.fileCopied)
        WriteOutLine({L"已恢复服务器文件：", path});
    else if (path[0])
        WriteOutLine({L"服务器文件已在原处：", path});
    wchar_t digits[kDecimalSize] = {};
    FormatDecimal(digits, kDecimalSize, result.keys);
    WriteOutLine({L"已恢复注册表项：", (const wchar_t *)digits, L"个"});
    if (!result.state.whole)
        WriteOutLine({L"注意：卸载时有注册表项或值未能记录，恢复的可能不完整。"});
    WriteOutLine({L"已恢复：", result.state.progId, L"（卸载于", result.state.time, L"）"});
    return kExitDone;
}

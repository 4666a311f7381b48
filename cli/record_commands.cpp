// orvictl's commands over the removal records: the records listed, a removal
// turned back, and removals that a process left unfinished finished before
// a command that changes the machine.
#include "cli/cli.h"

#include "base/text.h"
#include "records/records.h"

// The steps a record has left, as a person reads them ("删除注册表项、反注册").
static void DescribeStepsLeft(const RecordState *state, wchar_t *text, size_t cap)
{
    text[0] = 0;
    const wchar_t *steps[] = {L"删除注册表项", L"反注册", L"删除服务器文件"};
    int left[] = {!state->marks[kMarkKeys],
                  !state->marks[kMarkUnregister] && !state->marks[kMarkUnregistering],
                  !state->marks[kMarkFile]};
    for (int i = 0; i < 3; i++) {
        if (!left[i])
            continue;
        if (text[0])
            AppendText(text, cap, L"、");
        AppendText(text, cap, steps[i]);
    }
}

// The state of a record in one short Chinese text.
static void DescribeRecord(const RecordState *state, wchar_t *text, size_t cap)
{
    wchar_t left[64] = {};
    if (state->marks[kMarkOvertaken]) {
        CopyText(text, cap, L"已中止（这个控件现在已注册，保持不变）");
    } else if (!RecordIsDone(state)) {
        DescribeStepsLeft(state, left, 64);
        ComposeText(text, cap, {L"未完成（还需", (const wchar_t *)left, L"）"});
    } else if (!state->marks[kMarkUnregister]) {
        CopyText(text, cap, L"已完成（反注册没有完成）");
    } else {
        CopyText(text, cap, L"已完成");
    }
}

static void WriteFinished(const RecordState *state, void *)
{
    wchar_t left[64] = {};
    if (state->marks[kMarkOvertaken]) {
        WriteErrLine({L"未继续中断的卸载（这个控件现在已注册，保持不变）：", state->progId});
    } else if (!RecordIsDone(state)) {
        DescribeStepsLeft(state, left, 64);
        WriteErrLine({L"未能完成中断的卸载（还需", (const wchar_t *)left, L"）：", state->progId});
    } else {
        WriteErrLine({L"已完成中断的卸载：", state->progId});
    }
}

void FinishInterruptedRemovalsAndSay()
{
    FinishInterruptedRemovals(WriteFinished, NULL);
}

static void FormatRecordNumber(ULONGLONG number, wchar_t *digits)
{
    FormatDecimal(digits, kDecimalSize, (long long)number);
}

// ---- history ---------------------------------------------------------------------

int RunHistory(int json)
{
    static RecordStore store;
    static RecordVisit visit;
    int count = 0;
    if (json)
        WriteOut(L"{\"records\":[");
    visit.held = INVALID_HANDLE_VALUE;
    if (OpenRecordStore(&store, 0)) {
        while (NextRecord(&store, &visit)) {
            if (!visit.readable)
                continue;
            const RecordState *record = &visit.state;
            const wchar_t *server = record->servers[0].path[0] ? record->servers[0].path : NULL;
            wchar_t number[kDecimalSize] = {};
            wchar_t status[kStatusChars] = {};
            FormatRecordNumber(visit.number, number);
            DescribeRecord(record, status, kStatusChars);
            if (json) {
                WriteOut(count ? L",{" : L"{");
                WriteJsonField(L"progId", record->progId, 1);
                WriteJsonField(L"time", record->time, 0);
                WriteJsonField(L"serverPath", server, 0);
                WriteJsonBool(L"done", RecordIsDone(record), 0);
                WriteOut(L",\"number\":");
                WriteOut(number);
                WriteJsonField(L"status",
                               record->marks[kMarkOvertaken] ? L"overtaken"
                               : RecordIsDone(record)        ? L"done"
                                                             : L"unfinished",
                               0);
                WriteOut(L"}");
            } else {
                WriteOutLine({number, L"  ", record->time, L"  ", record->progId, L"  ",
                              server ? server : L"（没有服务器文件）", L"  ",
                              (const wchar_t *)status});
            }
            count++;
        }
        CloseRecordStore(&store);
    }
    if (json) {
        wchar_t digits[kDecimalSize] = {};
        FormatDecimal(digits, kDecimalSize, count);
        WriteOutLine({L"],\"count\":", (const wchar_t *)digits, L"}"});
    } else if (count == 0) {
        WriteOutLine({L"没有卸载记录。"});
    }
    return kExitDone;
}

// ---- restore -----------------------------------------------------------------------

// The line of a restore that did not go through; the record is named by its
// control and the server path it holds.
static void WriteRestoreFailure(int outcome, const RestoreResult *result)
{
    const wchar_t *path = result->failedPath;
    const wchar_t *progId = result->state.progId;
    wchar_t left[64] = {};
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
        WriteOutLine({L"恢复失败：卸载记录已损坏：", progId});
        break;
    case kRestoreInstalledNow:
        WriteOutLine({L"恢复失败：这个控件现在已经安装，卸载记录不会覆盖它：", progId});
        break;
    case kRestoreUnderWay:
        WriteOutLine({L"恢复失败：这个控件正在卸载，请等卸载结束后再试：", progId});
        break;
    case kRestoreKeyTaken:
        WriteOutLine({L"恢复失败：这个注册表项现在已存在，内容与卸载记录不同，卸载记录不会覆盖它：",
                      result->failedKey});
        break;
    case kRestoreNoProgId:
        WriteOutLine({L"恢复失败：卸载记录中没有这个控件的注册表项：", progId});
        break;
    case kRestoreUnfinished:
        DescribeStepsLeft(&result->state, left, 64);
        WriteOutLine({L"恢复失败：这次卸载没有完成（还需", (const wchar_t *)left, L"），不能恢复：",
                      progId});
        break;
    default:
        WriteOutLine({L"恢复失败：无法写入注册表项：", result->failedKey});
        break;
    }
}

int RunRestore(const wchar_t *progId, ULONGLONG number)
{
    if (!IsElevated())
        return RefuseNotElevated();
    FinishInterruptedRemovalsAndSay();
    static RestoreResult result;
    int outcome = RestoreRemoval(progId, number, &result);
    wchar_t digits[kDecimalSize] = {};
    FormatRecordNumber(number, digits);
    if (outcome == kRestoreNoRecord) {
        if (number)
            WriteOutLine({L"没有这个控件的这条卸载记录：", progId, L"（编号", digits, L"）"});
        else
            WriteOutLine({L"没有这个控件的卸载记录：", progId});
        return kExitFailed;
    }
    if (outcome != kRestored) {
        WriteRestoreFailure(outcome, &result);
        return kExitFailed;
    }
    wchar_t used[kDecimalSize] = {}, newest[kDecimalSize] = {};
    FormatRecordNumber(result.number, used);
    FormatRecordNumber(result.newest, newest);
    if (result.newest)
        WriteOutLine({L"注意：最新的卸载记录（编号", newest, L"）不能恢复这个控件，使用了编号",
                      used, L"的记录。"});
    for (int i = 0; i < kRecordServers; i++) {
        const RecordServer *server = &result.state.servers[i];
        if (server->path[0])
            WriteOutLine({result.copiedBack[i] ? L"已恢复服务器文件：" : L"服务器文件已在原处：",
                          server->path});
    }
    FormatDecimal(digits, kDecimalSize, result.keys);
    WriteOutLine({L"已恢复注册表项：", (const wchar_t *)digits, L"个"});
    if (!result.state.whole)
        WriteOutLine({L"注意：卸载时有注册表项或值未能记录，恢复的可能不完整。"});
    WriteOutLine({L"已恢复：", result.state.progId, L"（卸载于", result.state.time, L"，记录编号",
                  used, L"）"});
    return kExitDone;
}

// Byte copies and comparisons of a record's server file, through handles the
// caller opened (so it decides what may be followed and shared).
#include "controls/records.h"

static BYTE g_chunk[kCopyChunkBytes];
static BYTE g_otherChunk[kCopyChunkBytes];

int CopyFileBytes(HANDLE from, HANDLE to, ULONGLONG *bytes)
{
    *bytes = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, g_chunk, kCopyChunkBytes, &got, NULL))
            return 0;
        if (got == 0)
            return 1;
        DWORD written = 0;
        if (!WriteFile(to, g_chunk, got, &written, NULL) || written != got)
            return 0;
        *bytes += got;
    }
}

// Reads until size bytes are in or the file ends; the bytes read.
static DWORD ReadFull(HANDLE file, BYTE *buffer, DWORD size)
{
    DWORD total = 0;
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(file, buffer + total, size - total, &got, NULL) || got == 0)
            break;
        total += got;
    }
    return total;
}

int SameFileBytes(HANDLE a, HANDLE b)
{
    for (;;) {
        DWORD gotA = ReadFull(a, g_chunk, kCopyChunkBytes);
        DWORD gotB = ReadFull(b, g_otherChunk, kCopyChunkBytes);
        if (gotA != gotB || memcmp(g_chunk, g_otherChunk, gotA) != 0)
            return 0;
        if (gotA == 0)
            return 1;
    }
}

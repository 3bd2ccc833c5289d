// The switches of one stream of the test build: short, failing or cut reads and
// writes. Read at every call, so a test may change them at any time.
#pragma once

#include "KwPlatform.h"

struct KwHostStreamSwitches {
    ULONG MaxReadPerCall = 0;          // a Read delivers at most this many bytes; 0: no limit
    LONGLONG ReadLimitTotal = -1;      // Reads deliver nothing once this many bytes were delivered; -1: no limit
    ULONG FailReadAtCall = 0;          // the Read call (1-based) that fails; 0: none
    ULONG FailReadCalls = 1;           // consecutive failing Read calls from there; 0: every later call
    HRESULT FailReadResult = STG_E_READFAULT;
    ULONG FailReadBytes = 0;           // bytes a failing Read still delivers
    HRESULT SeekResult = S_OK;         // a failure makes every Seek fail with it
    HRESULT StatResult = S_OK;         // a failure (E_NOTIMPL) makes every Stat fail with it
    LONGLONG WriteAcceptMax = -1;      // bytes a Write accepts of one call; -1: all
    HRESULT ShortWriteResult = STG_E_MEDIUMFULL; // the result of a Write cut short by writeAcceptMax
    ULONG FailWriteAtCall = 0;         // the Write call (1-based) that fails with nothing written; 0: none
    ULONG FailWriteCalls = 1;          // consecutive failing Write calls; 0: every later call
    HRESULT FailWriteResult = STG_E_WRITEFAULT;
};

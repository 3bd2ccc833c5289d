// What the test build keeps of one host stream: its switches, and its Read and
// Write calls with what each asked for and got.
#pragma once

#include <vector>

#include "KwHostStreamSwitches.h"

// One Read or Write: bytes asked for, bytes delivered or accepted, the result.
struct KwHostStreamIo {
    ULONG Requested;
    ULONG Done;
    HRESULT Result;
};

class KwHostStreamDouble {
public:
    KwHostStreamSwitches& Switches() noexcept { return m_Switches; }
    const std::vector<KwHostStreamIo>& ReadLog() const noexcept { return m_Reads; }
    const std::vector<KwHostStreamIo>& WriteLog() const noexcept { return m_Writes; }
    // Requested counts of the Read calls, and accepted counts of the Write calls.
    std::vector<ULONG> ReadRequests() const;
    std::vector<ULONG> WriteSizes() const;
    ULONGLONG BytesDelivered() const noexcept { return m_Delivered; }
    ULONG SeekCount() const noexcept { return m_Seeks; }

private:
    friend class KwHostTrace;

    KwHostStreamSwitches m_Switches;
    std::vector<KwHostStreamIo> m_Reads;
    std::vector<KwHostStreamIo> m_Writes;
    ULONGLONG m_Delivered = 0;
    ULONG m_ReadCalls = 0;
    ULONG m_WriteCalls = 0;
    ULONG m_Seeks = 0;
};

// The context of an engine of the test build: besides the host's settings it
// holds the call log, the switches, the counter of host calls for fault
// injection, and what it keeps of each stream and raster block.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "KwHostCallLog.h"
#include "engine/KwHostContext.h"
#include "KwHostStreamDouble.h"
#include "KwHostSwitches.h"

class KwHostObject;

class KwHostDoubleContext : public KwHostContext {
public:
    KwHostCallLog& Log() noexcept { return m_Log; }
    KwHostSwitches& Switches() noexcept { return m_Switches; }
    // Host calls that fault injection counted so far (all methods).
    ULONG CallCount() const noexcept { return m_Calls; }

    // Counts a host call; true (with the result to return) when fault injection makes it fail.
    // The calls that the switch counts are counted from the first call after it was set.
    bool InjectFailure(std::string_view method, HRESULT* result) noexcept;
    // Completes the call's readable line, adds it to the log and returns `result`.
    // Calls the host makes itself (KwHostOwnCalls) are left out.
    HRESULT Record(KwHostCall& call, const std::string& details, HRESULT result) noexcept;

    // What is kept of one stream or raster block, made on first use. Throws std::bad_alloc.
    KwHostStreamDouble& Stream(const KwHostObject& stream);
    std::vector<KwHostScanlineCall>& ScanlineCalls(const KwHostObject& block);
    // The object is gone: what was kept of it goes too.
    void Forget(const KwHostObject& object) noexcept;

private:
    // Objects of one engine may be called from several threads at once (the
    // attribute class serves every thread of a process), so counting and
    // logging a call is serialised.
    std::mutex m_Lock;
    KwHostCallLog m_Log;
    KwHostSwitches m_Switches;
    std::map<const KwHostObject*, KwHostStreamDouble> m_Streams;
    std::map<const KwHostObject*, std::vector<KwHostScanlineCall>> m_Scanlines;
    ULONG m_Calls = 0;
    ULONG m_MatchingCalls = 0;
    ULONG m_ArmedNumber = 0;
    std::string m_ArmedMethod;
};

// What the objects of one host engine share: the call log, the switches and
// the counter of host calls for fault injection.
#pragma once

#include <memory>
#include <mutex>

#include "KwHostCallLog.h"
#include "KwHostSwitches.h"

class KwHostContext {
public:
    // Throws std::bad_alloc.
    static std::shared_ptr<KwHostContext> Create();
    // The given context, or a new private one when it is null. Throws std::bad_alloc.
    static std::shared_ptr<KwHostContext> Ensure(std::shared_ptr<KwHostContext> context);

    KwHostCallLog& Log() noexcept { return m_Log; }
    KwHostSwitches& Switches() noexcept { return m_Switches; }
    // Logged host calls so far (all methods), and calls of the fault-injection method.
    ULONG CallCount() const noexcept { return m_Calls; }

    // Counts a host call; true (with the result to return) when fault injection makes it fail.
    // The calls that the switch counts are counted from the first call after it was set.
    bool InjectFailure(const std::string& method, HRESULT* result) noexcept;
    // Completes the call's readable line, adds it to the log and returns `result`.
    HRESULT Record(KwHostCall& call, const std::string& details, HRESULT result) noexcept;

private:
    // Objects of one engine may be called from several threads at once (the
    // attribute class serves every thread of a process), so counting and
    // logging a call is serialised.
    std::mutex m_Lock;
    KwHostCallLog m_Log;
    KwHostSwitches m_Switches;
    ULONG m_Calls = 0;
    ULONG m_MatchingCalls = 0;
    ULONG m_ArmedNumber = 0;
    std::string m_ArmedMethod;
};

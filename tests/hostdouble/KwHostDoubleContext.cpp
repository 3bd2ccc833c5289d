#include "KwHostDoubleContext.h"

#include "KwHostOwnCalls.h"

bool KwHostDoubleContext::InjectFailure(std::string_view method, HRESULT* result) noexcept
{
    std::lock_guard<std::mutex> guard(m_Lock);
    ++m_Calls;
    // Setting or changing the switch starts the count again.
    if (m_Switches.FailCallNumber != m_ArmedNumber || m_Switches.FailCallMethod != m_ArmedMethod) {
        try {
            m_ArmedMethod = m_Switches.FailCallMethod;
        } catch (...) {
            return false;
        }
        m_ArmedNumber = m_Switches.FailCallNumber;
        m_MatchingCalls = 0;
    }
    bool matches = m_Switches.FailCallMethod.empty() || m_Switches.FailCallMethod == method;
    if (!matches) return false;
    ++m_MatchingCalls;
    if (m_Switches.FailCallNumber != 0 && m_MatchingCalls == m_Switches.FailCallNumber) {
        *result = m_Switches.FailCallResult;
        return true;
    }
    return false;
}

HRESULT KwHostDoubleContext::Record(KwHostCall& call, const std::string& details, HRESULT result) noexcept
{
    // Long runs and the fuzzers turn the log off; skip the formatting too.
    if (!m_Log.Enabled() || KwHostOwnCalls::Active()) return result;
    try {
        std::lock_guard<std::mutex> guard(m_Lock);
        call.Result = result;
        call.Text = call.Object + "." + call.Method + "(" + details + ") -> " + KwHostCallLog::ResultText(result);
        m_Log.Add(std::move(call));
    } catch (...) {
        // A log that cannot grow loses the entry; the call itself stands.
    }
    return result;
}

KwHostStreamDouble& KwHostDoubleContext::Stream(const KwHostObject& stream)
{
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_Streams[&stream];
}

std::vector<KwHostScanlineCall>& KwHostDoubleContext::ScanlineCalls(const KwHostObject& block)
{
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_Scanlines[&block];
}

void KwHostDoubleContext::Forget(const KwHostObject& object) noexcept
{
    std::lock_guard<std::mutex> guard(m_Lock);
    m_Streams.erase(&object);
    m_Scanlines.erase(&object);
}

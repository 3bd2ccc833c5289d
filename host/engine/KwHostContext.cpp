#include "KwHostContext.h"

std::shared_ptr<KwHostContext> KwHostContext::Create() { return std::make_shared<KwHostContext>(); }

std::shared_ptr<KwHostContext> KwHostContext::Ensure(std::shared_ptr<KwHostContext> context)
{
    return context ? context : Create();
}

bool KwHostContext::InjectFailure(const std::string& method, HRESULT* result) noexcept
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_calls;
    // Setting or changing the switch starts the count again.
    if (m_switches.failCallNumber != m_armedNumber || m_switches.failCallMethod != m_armedMethod) {
        try {
            m_armedMethod = m_switches.failCallMethod;
        } catch (...) {
            return false;
        }
        m_armedNumber = m_switches.failCallNumber;
        m_matchingCalls = 0;
    }
    bool matches = m_switches.failCallMethod.empty() || m_switches.failCallMethod == method;
    if (!matches) return false;
    ++m_matchingCalls;
    if (m_switches.failCallNumber != 0 && m_matchingCalls == m_switches.failCallNumber) {
        *result = m_switches.failCallResult;
        return true;
    }
    return false;
}

HRESULT KwHostContext::Record(KwHostCall& call, const std::string& details, HRESULT result) noexcept
{
    if (!m_log.Enabled()) return result; // benchmarks turn the log off; skip the formatting too
    try {
        std::lock_guard<std::mutex> guard(m_lock);
        call.result = result;
        call.text = call.object + "." + call.method + "(" + details + ") -> " + KwHostCallLog::ResultText(result);
        m_log.Add(std::move(call));
    } catch (...) {
        // A log that cannot grow loses the entry; the call itself stands.
    }
    return result;
}

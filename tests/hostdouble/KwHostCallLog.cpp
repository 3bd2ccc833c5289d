#include "KwHostCallLog.h"

#include <cstdio>

void KwHostCallLog::Add(KwHostCall call)
{
    if (m_Enabled) m_Calls.push_back(std::move(call));
}

bool KwHostCallLog::IsStreamCall(const KwHostCall& call) noexcept
{
    return call.Method == "Read" || call.Method == "Write" || call.Method == "Seek" || call.Method == "Stat" ||
           call.Method == "SetSize";
}

std::vector<std::string> KwHostCallLog::Methods(bool withStreamCalls) const
{
    std::vector<std::string> out;
    for (const KwHostCall& c : m_Calls)
        if (withStreamCalls || !IsStreamCall(c)) out.push_back(c.Object + "." + c.Method);
    return out;
}

std::vector<std::string> KwHostCallLog::Steps(bool withStreamCalls) const
{
    std::vector<std::string> out;
    for (const KwHostCall& c : m_Calls) {
        if (!withStreamCalls && IsStreamCall(c)) continue;
        out.push_back(c.Name.empty() ? c.Method : c.Method + "(" + c.Name + ")");
    }
    return out;
}

std::vector<std::string> KwHostCallLog::Lines() const
{
    std::vector<std::string> out;
    for (const KwHostCall& c : m_Calls) out.push_back(c.Text);
    return out;
}

std::string KwHostCallLog::Text() const
{
    std::string out;
    for (const KwHostCall& c : m_Calls) out += c.Text + "\n";
    return out;
}

size_t KwHostCallLog::Count(const std::string& method) const
{
    size_t n = 0;
    for (const KwHostCall& c : m_Calls)
        if (c.Method == method) ++n;
    return n;
}

std::vector<const KwHostCall*> KwHostCallLog::Find(const std::string& method) const
{
    std::vector<const KwHostCall*> out;
    for (const KwHostCall& c : m_Calls)
        if (c.Method == method) out.push_back(&c);
    return out;
}

size_t KwHostCallLog::IndexOf(const std::string& method, const std::string& name, size_t from) const
{
    for (size_t i = from; i < m_Calls.size(); ++i)
        if (m_Calls[i].Method == method && (name.empty() || m_Calls[i].Name == name)) return i;
    return m_Calls.size();
}

std::string KwHostCallLog::ResultText(HRESULT hr)
{
    switch (hr) {
    case S_OK: return "S_OK";
    case S_FALSE: return "S_FALSE";
    case E_NOTIMPL: return "E_NOTIMPL";
    case E_NOINTERFACE: return "E_NOINTERFACE";
    case E_POINTER: return "E_POINTER";
    case E_ABORT: return "E_ABORT";
    case E_FAIL: return "E_FAIL";
    case E_UNEXPECTED: return "E_UNEXPECTED";
    case E_ACCESSDENIED: return "E_ACCESSDENIED";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_INVALIDARG: return "E_INVALIDARG";
    case STG_E_INVALIDFUNCTION: return "STG_E_INVALIDFUNCTION";
    case STG_E_INVALIDPOINTER: return "STG_E_INVALIDPOINTER";
    case STG_E_READFAULT: return "STG_E_READFAULT";
    case STG_E_WRITEFAULT: return "STG_E_WRITEFAULT";
    case STG_E_MEDIUMFULL: return "STG_E_MEDIUMFULL";
    case STG_E_ACCESSDENIED: return "STG_E_ACCESSDENIED";
    default: {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
        return buffer;
    }
    }
}

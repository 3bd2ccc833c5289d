// Every call that a filter makes on host objects, in order: structured entries
// for assertions and one readable line each.
#pragma once

#include <string>
#include <vector>

#include "engine/KwHostVariant.h"
#include "KwPlatform.h"

struct KwHostCall {
    KwHostCall() = default;
    KwHostCall(std::string objectLabel, std::string methodName)
        : Object(std::move(objectLabel)), Method(std::move(methodName))
    {
    }

    std::string Object;  // the object's label: "data object", "document", `document/"Contents"/1`, "stream"
    std::string Method;  // "PutAttribute", "CreateChild", "Storage", "Read", ...
    std::string Name;    // attribute name, child index text, storage name or compression text
    KwHostVariant Index; // child index (CreateChild, GetChild)
    KwHostVariant Value; // attribute value, or the Type argument of CreateChild
    LONG Type = 0;       // Type argument of PutAttribute, object type of CreateChild
    LONG Flag = 0;       // Protected of CreateChild
    std::vector<LONGLONG> Args; // numeric arguments, per method (see the classes)
    HRESULT Result = S_OK;
    std::string Text;    // the readable line
};

// One AddScanline1 call on a raster block, refused ones too.
struct KwHostScanlineCall {
    LONG DataType;
    LONG StartLine;
    LONG NoLines;
    LONG BytesPerLine;
    HRESULT Result;
};

class KwHostCallLog {
public:
    void Add(KwHostCall call);
    void Clear() noexcept { m_Calls.clear(); }
    // Recording can be switched off while a host reads its own objects back.
    void SetEnabled(bool enabled) noexcept { m_Enabled = enabled; }
    bool Enabled() const noexcept { return m_Enabled; }

    size_t Size() const noexcept { return m_Calls.size(); }
    const KwHostCall& operator[](size_t i) const { return m_Calls[i]; }
    const std::vector<KwHostCall>& Calls() const noexcept { return m_Calls; }

    // "object.method" of every call, optionally without stream Read/Write/Seek/Stat calls.
    std::vector<std::string> Methods(bool withStreamCalls = false) const;
    // "method(name)" for calls that carry a name, else "method", same filter.
    std::vector<std::string> Steps(bool withStreamCalls = false) const;
    std::vector<std::string> Lines() const;
    std::string Text() const;
    size_t Count(const std::string& method) const;
    // The calls of one method, in order.
    std::vector<const KwHostCall*> Find(const std::string& method) const;
    // Index of the first call of `method` (and `name`, when given) at or after `from`; Size() when none.
    size_t IndexOf(const std::string& method, const std::string& name = std::string(), size_t from = 0) const;

    static std::string ResultText(HRESULT hr);
    static bool IsStreamCall(const KwHostCall& call) noexcept;

private:
    std::vector<KwHostCall> m_Calls;
    bool m_Enabled = true;
};

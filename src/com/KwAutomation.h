// Owning wrappers for BSTR and VARIANT, and narrow-text conversion through the
// thread's ANSI code page. Header-only; used by the filter and by hosts.
#pragma once

#include <string>

#include "KwPlatform.h"

// An owned BSTR, freed on every path out of a scope.
class KwBstr {
public:
    KwBstr() noexcept = default;
    explicit KwBstr(const OLECHAR* text) noexcept : m_S(text ? SysAllocString(text) : nullptr) {}
    ~KwBstr() { SysFreeString(m_S); }
    KwBstr(const KwBstr&) = delete;
    KwBstr& operator=(const KwBstr&) = delete;
    KwBstr(KwBstr&& o) noexcept : m_S(o.m_S) { o.m_S = nullptr; }
    KwBstr& operator=(KwBstr&& o) noexcept
    {
        if (this != &o) {
            SysFreeString(m_S);
            m_S = o.m_S;
            o.m_S = nullptr;
        }
        return *this;
    }

    // Narrow text in the given code page (the thread's ANSI code page by default).
    // Returns an empty (null) KwBstr when the text cannot be converted or allocated;
    // check ok() when the text may be non-empty.
    static KwBstr FromNarrow(const char* text, UINT codePage = CP_THREAD_ACP) noexcept
    {
        KwBstr result;
        if (!text) return result;
        int length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
        if (length <= 0) return result;
        result.m_S = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
        if (!result.m_S) return result;
        MultiByteToWideChar(codePage, 0, text, -1, result.m_S, length);
        return result;
    }

    BSTR Get() const noexcept { return m_S; }
    BSTR* Receive() noexcept
    {
        SysFreeString(m_S);
        m_S = nullptr;
        return &m_S;
    }
    BSTR Detach() noexcept
    {
        BSTR s = m_S;
        m_S = nullptr;
        return s;
    }
    bool Ok() const noexcept { return m_S != nullptr; }
    UINT Length() const noexcept { return SysStringLen(m_S); }

private:
    BSTR m_S = nullptr;
};

// Converts a BSTR to narrow text (UTF-8 by default); a null BSTR is the empty text.
inline std::string KwNarrow(const OLECHAR* text, UINT length, UINT codePage = CP_UTF8)
{
    if (!text || length == 0) return std::string();
    int size = WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), &out[0], size, nullptr, nullptr);
    return out;
}
inline std::string KwNarrow(BSTR text, UINT codePage = CP_UTF8) { return KwNarrow(text, SysStringLen(text), codePage); }

// An owned VARIANT, cleared on every path out of a scope.
class KwVariant : public VARIANT {
public:
    KwVariant() noexcept { VariantInit(this); }
    ~KwVariant() { VariantClear(this); }
    KwVariant(const KwVariant&) = delete;
    KwVariant& operator=(const KwVariant&) = delete;

    void Clear() noexcept { VariantClear(this); }
    void SetI2(SHORT v) noexcept
    {
        VariantClear(this);
        vt = VT_I2;
        iVal = v;
    }
    void SetI4(LONG v) noexcept
    {
        VariantClear(this);
        vt = VT_I4;
        lVal = v;
    }
    void SetR8(double v) noexcept
    {
        VariantClear(this);
        vt = VT_R8;
        dblVal = v;
    }
    void SetBool(VARIANT_BOOL v) noexcept
    {
        VariantClear(this);
        vt = VT_BOOL;
        boolVal = v;
    }
    // Takes ownership of the BSTR.
    void SetBstr(BSTR v) noexcept
    {
        VariantClear(this);
        vt = VT_BSTR;
        bstrVal = v;
    }
    // Takes ownership of the array, whose elements are of the given type.
    void SetArray(VARTYPE elementType, SAFEARRAY* v) noexcept
    {
        VariantClear(this);
        vt = static_cast<VARTYPE>(VT_ARRAY | elementType);
        parray = v;
    }
    // Adds a reference of its own.
    void SetDispatch(IDispatch* v) noexcept
    {
        VariantClear(this);
        vt = VT_DISPATCH;
        pdispVal = v;
        if (v) v->AddRef();
    }
};

#include "KwHostVariant.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "com/KwAutomation.h"

KwHostVariant::KwHostVariant() noexcept { VariantInit(&m_Value); }

KwHostVariant::KwHostVariant(const VARIANT& value)
{
    VariantInit(&m_Value);
    if (!Keeps(value.vt)) throw std::bad_alloc();
    if (FAILED(VariantCopy(&m_Value, const_cast<VARIANT*>(&value)))) throw std::bad_alloc();
}

KwHostVariant::KwHostVariant(const KwHostVariant& other) : KwHostVariant(other.m_Value) {}

KwHostVariant::KwHostVariant(KwHostVariant&& other) noexcept
{
    m_Value = other.m_Value;
    VariantInit(&other.m_Value);
}

KwHostVariant& KwHostVariant::operator=(const KwHostVariant& other)
{
    if (this != &other) {
        KwHostVariant copy(other);
        *this = std::move(copy);
    }
    return *this;
}

KwHostVariant& KwHostVariant::operator=(KwHostVariant&& other) noexcept
{
    if (this != &other) {
        VariantClear(&m_Value);
        m_Value = other.m_Value;
        VariantInit(&other.m_Value);
    }
    return *this;
}

KwHostVariant::~KwHostVariant() { VariantClear(&m_Value); }

KwHostVariant KwHostVariant::I2(SHORT v)
{
    KwHostVariant r;
    r.m_Value.vt = VT_I2;
    r.m_Value.iVal = v;
    return r;
}

KwHostVariant KwHostVariant::I4(LONG v)
{
    KwHostVariant r;
    r.m_Value.vt = VT_I4;
    r.m_Value.lVal = v;
    return r;
}

KwHostVariant KwHostVariant::R8(double v)
{
    KwHostVariant r;
    r.m_Value.vt = VT_R8;
    r.m_Value.dblVal = v;
    return r;
}

KwHostVariant KwHostVariant::Bool(bool v)
{
    KwHostVariant r;
    r.m_Value.vt = VT_BOOL;
    r.m_Value.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
}

KwHostVariant KwHostVariant::Text(const std::string& utf8)
{
    KwBstr text = KwBstr::FromNarrow(utf8.c_str(), CP_UTF8);
    if (!text.Ok()) throw std::bad_alloc();
    KwHostVariant r;
    r.m_Value.vt = VT_BSTR;
    r.m_Value.bstrVal = text.Detach();
    return r;
}

HRESULT KwHostVariant::CopyTo(VARIANT* out) const noexcept
{
    if (!out) return E_POINTER;
    VariantInit(out);
    return VariantCopy(out, const_cast<VARIANT*>(&m_Value));
}

bool KwHostVariant::Keeps(VARTYPE vt) noexcept
{
    // References to caller memory are not kept: only the value types are copied.
    if (vt & VT_BYREF) return false;
    return !(vt & VT_ARRAY) || vt == (VT_ARRAY | VT_UI1);
}

bool KwHostVariant::Bytes(const VARIANT& value, std::vector<unsigned char>* out)
{
    out->clear();
    if (value.vt != (VT_ARRAY | VT_UI1) || !value.parray) return false;
    SAFEARRAY* array = value.parray;
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) return false;
    if (upper < lower) return true;
    const size_t count = size_t(LONGLONG(upper) - lower + 1);
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return false;
    try {
        out->assign(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + count);
    } catch (...) {
        SafeArrayUnaccessData(array);
        throw;
    }
    SafeArrayUnaccessData(array);
    return true;
}

bool KwHostVariant::AsInteger(const VARIANT& value, LONGLONG* out) noexcept
{
    switch (value.vt) {
    case VT_I1: *out = value.cVal; return true;
    case VT_I2: *out = value.iVal; return true;
    case VT_I4: *out = value.lVal; return true;
    case VT_I8: *out = value.llVal; return true;
    case VT_UI1: *out = value.bVal; return true;
    case VT_UI2: *out = value.uiVal; return true;
    case VT_UI4: *out = value.ulVal; return true;
    case VT_INT: *out = value.intVal; return true;
    case VT_UINT: *out = value.uintVal; return true;
    default: return false;
    }
}

bool KwHostVariant::IndexEqual(const VARIANT& a, const VARIANT& b) noexcept
{
    LONGLONG x = 0, y = 0;
    if (AsInteger(a, &x)) return AsInteger(b, &y) && x == y;
    if (a.vt == VT_BSTR && b.vt == VT_BSTR) {
        UINT la = SysStringLen(a.bstrVal), lb = SysStringLen(b.bstrVal);
        return la == lb && (la == 0 || std::memcmp(a.bstrVal, b.bstrVal, la * sizeof(OLECHAR)) == 0);
    }
    return false;
}

std::string KwHostVariant::Narrow(const OLECHAR* text)
{
    if (!text) return std::string();
    UINT length = 0;
    while (text[length]) ++length;
    return KwNarrow(text, length);
}

std::string KwHostVariant::IndexText(const VARIANT& index)
{
    LONGLONG n = 0;
    if (AsInteger(index, &n)) return std::to_string(n);
    if (index.vt == VT_BSTR) return "\"" + KwNarrow(index.bstrVal) + "\"";
    return std::string("<") + TypeName(index.vt) + ">";
}

std::string KwHostVariant::ValueText(const VARIANT& value)
{
    LONGLONG n = 0;
    if (AsInteger(value, &n)) return std::to_string(n);
    char buffer[64];
    switch (value.vt) {
    case VT_EMPTY: return std::string();
    case VT_NULL: return "null";
    case VT_BSTR: return KwNarrow(value.bstrVal);
    case VT_BOOL: return value.boolVal == VARIANT_TRUE ? "true" : value.boolVal == VARIANT_FALSE ? "false"
                                                                                                  : std::to_string(value.boolVal);
    case VT_R8:
        std::snprintf(buffer, sizeof buffer, "%.4f", value.dblVal);
        return buffer;
    case VT_R4:
        std::snprintf(buffer, sizeof buffer, "%.4f", static_cast<double>(value.fltVal));
        return buffer;
    case VT_ERROR:
        std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(value.scode));
        return buffer;
    case VT_DISPATCH: return value.pdispVal ? "<object>" : "<null object>";
    case VT_UNKNOWN: return value.punkVal ? "<object>" : "<null object>";
    case VT_ARRAY | VT_UI1: {
        std::vector<unsigned char> bytes;
        Bytes(value, &bytes);
        return "<" + std::to_string(bytes.size()) + " bytes>";
    }
    default: return std::string("<") + TypeName(value.vt) + ">";
    }
}

std::string KwHostVariant::Describe(const VARIANT& value)
{
    std::string text = TypeName(value.vt);
    if (value.vt == VT_EMPTY) return text;
    if (value.vt == VT_BSTR) return text + " \"" + KwNarrow(value.bstrVal) + "\"";
    if (value.vt == VT_BOOL) return text + " " + std::to_string(value.boolVal);
    return text + " " + ValueText(value);
}

const char* KwHostVariant::TypeName(VARTYPE vt) noexcept
{
    switch (vt) {
    case VT_EMPTY: return "VT_EMPTY";
    case VT_NULL: return "VT_NULL";
    case VT_I2: return "VT_I2";
    case VT_I4: return "VT_I4";
    case VT_R4: return "VT_R4";
    case VT_R8: return "VT_R8";
    case VT_CY: return "VT_CY";
    case VT_DATE: return "VT_DATE";
    case VT_BSTR: return "VT_BSTR";
    case VT_DISPATCH: return "VT_DISPATCH";
    case VT_ERROR: return "VT_ERROR";
    case VT_BOOL: return "VT_BOOL";
    case VT_VARIANT: return "VT_VARIANT";
    case VT_UNKNOWN: return "VT_UNKNOWN";
    case VT_I1: return "VT_I1";
    case VT_UI1: return "VT_UI1";
    case VT_UI2: return "VT_UI2";
    case VT_UI4: return "VT_UI4";
    case VT_I8: return "VT_I8";
    case VT_UI8: return "VT_UI8";
    case VT_INT: return "VT_INT";
    case VT_UINT: return "VT_UINT";
    case VT_ARRAY | VT_UI1: return "VT_ARRAY|VT_UI1";
    default: return (vt & VT_BYREF) ? "VT_BYREF" : (vt & VT_ARRAY) ? "VT_ARRAY" : "VT_OTHER";
    }
}

#include "KwHostAttributeHolder.h"

#include "KwAutomation.h"
#include "KwHostContext.h"

namespace {
std::basic_string<OLECHAR> Wide(BSTR text) { return std::basic_string<OLECHAR>(text ? text : OLESTR(""), SysStringLen(text)); }
} // namespace

std::vector<std::string> KwHostAttributeHolder::AttributeNames() const
{
    std::vector<std::string> names;
    for (const KwHostAttributeEntry& a : m_Attributes) names.push_back(a.name);
    return names;
}

const KwHostAttributeEntry* KwHostAttributeHolder::FindAttribute(const std::string& name) const noexcept
{
    for (const KwHostAttributeEntry& a : m_Attributes)
        if (a.name == name) return &a;
    return nullptr;
}

void KwHostAttributeHolder::SetAttribute(const std::string& name, const KwHostVariant& value, LONG type)
{
    for (KwHostAttributeEntry& a : m_Attributes) {
        if (a.name == name) {
            a.value = value;
            a.type = type;
            return;
        }
    }
    KwBstr wide = KwBstr::FromNarrow(name.c_str(), CP_UTF8);
    KwHostAttributeEntry entry;
    entry.wideName = Wide(wide.Get());
    entry.name = name;
    entry.value = value;
    entry.type = type;
    m_Attributes.push_back(std::move(entry));
}

KwHostAttributeEntry* KwHostAttributeHolder::Lookup(BSTR name) noexcept
{
    UINT length = SysStringLen(name);
    for (KwHostAttributeEntry& a : m_Attributes)
        if (a.wideName.size() == length && (length == 0 || a.wideName.compare(0, length, name, length) == 0))
            return &a;
    return nullptr;
}

HRESULT KwHostAttributeHolder::DoGetAttributes(IDispatch** Attributes) noexcept
{
    if (!Attributes) return E_POINTER;
    *Attributes = nullptr;
    // The object is its own attribute collection.
    void* found = FindInterface(IID_IKwAttribute);
    if (!found) return E_NOTIMPL;
    IKwAttribute* attributes = nullptr;
    HRESULT hr = Answer(IID_IKwAttribute, found, reinterpret_cast<void**>(&attributes));
    if (SUCCEEDED(hr)) *Attributes = attributes;
    return hr;
}

HRESULT KwHostAttributeHolder::DoGetAttributeCount(LONG* Count) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "AttributeCount"};
    if (!Count) return Context().Record(call, "", E_POINTER);
    *Count = 0;
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, "", hr);
    *Count = static_cast<LONG>(m_Attributes.size());
    call.args = {*Count};
    return Context().Record(call, std::to_string(*Count), S_OK);
    KW_HOST_CATCH
}

HRESULT KwHostAttributeHolder::DoGetProtectAttributes(VARIANT_BOOL* Protected) noexcept
{
    if (!Protected) return E_POINTER;
    *Protected = m_Protected ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT KwHostAttributeHolder::DoPutProtectAttributes(VARIANT_BOOL Protected) noexcept
{
    // Recorded only: the host does not enforce protection.
    m_Protected = Protected != VARIANT_FALSE;
    return S_OK;
}

HRESULT KwHostAttributeHolder::DoGetAttribute(BSTR Name, VARIANT* Type, VARIANT* Value) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "GetAttribute"};
    call.name = KwNarrow(Name);
    std::string details = "\"" + call.name + "\"" + (Type ? ", Type" : "");
    if (Type) VariantInit(Type);
    if (!Value) return Context().Record(call, details, E_POINTER);
    VariantInit(Value);
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, details, hr);
    if (FAILED(Context().Switches().getAttributeResult))
        return Context().Record(call, details, Context().Switches().getAttributeResult);
    const KwHostAttributeEntry* entry = Lookup(Name);
    if (!entry) return Context().Record(call, details, E_INVALIDARG);
    hr = entry->value.CopyTo(Value);
    if (FAILED(hr)) return Context().Record(call, details, hr);
    if (Type) {
        Type->vt = VT_I4;
        Type->lVal = entry->type;
    }
    call.value = KwHostVariant::ForLog(entry->value.Get());
    call.type = entry->type;
    return Context().Record(call, details + " = " + entry->value.Describe(), S_OK);
    KW_HOST_CATCH
}

HRESULT KwHostAttributeHolder::DoPutAttribute(BSTR Name, const VARIANT& Value, LONG Type) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "PutAttribute"};
    call.name = KwNarrow(Name);
    call.type = Type;
    std::string details = "\"" + call.name + "\", " + KwHostVariant::Describe(Value) + ", Type " + std::to_string(Type);
    if ((Value.vt & (VT_BYREF | VT_ARRAY)) != 0) return Context().Record(call, details, DISP_E_BADVARTYPE);
    call.value = KwHostVariant::ForLog(Value);
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, details, hr);
    if (SysStringLen(Name) == 0) return Context().Record(call, details, E_INVALIDARG);
    KwHostVariant stored(Value);
    if (KwHostAttributeEntry* entry = Lookup(Name)) {
        entry->value = std::move(stored);
        entry->type = Type;
    } else {
        KwHostAttributeEntry added;
        added.wideName = Wide(Name);
        added.name = call.name;
        added.value = std::move(stored);
        added.type = Type;
        m_Attributes.push_back(std::move(added));
    }
    return Context().Record(call, details, S_OK);
    KW_HOST_CATCH
}

HRESULT KwHostAttributeHolder::DoRemoveAttribute(BSTR Name) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "RemoveAttribute"};
    call.name = KwNarrow(Name);
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, call.name, hr);
    KwHostAttributeEntry* entry = Lookup(Name);
    if (!entry) return Context().Record(call, call.name, E_INVALIDARG);
    m_Attributes.erase(m_Attributes.begin() + (entry - m_Attributes.data()));
    return Context().Record(call, call.name, S_OK);
    KW_HOST_CATCH
}

HRESULT KwHostAttributeHolder::DoRemoveAllAttributes() noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "RemoveAllAttributes"};
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, "", hr);
    m_Attributes.clear();
    return Context().Record(call, "", S_OK);
    KW_HOST_CATCH
}

HRESULT KwHostAttributeHolder::DoGetAttributeName(LONG Position, BSTR* Name) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "GetAttributeName"};
    call.args = {Position};
    std::string details = std::to_string(Position);
    if (!Name) return Context().Record(call, details, E_POINTER);
    *Name = nullptr;
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, details, hr);
    if (Position < 0 || static_cast<size_t>(Position) >= m_Attributes.size())
        return Context().Record(call, details, E_INVALIDARG);
    const KwHostAttributeEntry& entry = m_Attributes[static_cast<size_t>(Position)];
    *Name = SysAllocStringLen(entry.wideName.data(), static_cast<UINT>(entry.wideName.size()));
    if (!*Name) return Context().Record(call, details, E_OUTOFMEMORY);
    call.name = entry.name;
    return Context().Record(call, details + " = \"" + entry.name + "\"", S_OK);
    KW_HOST_CATCH
}

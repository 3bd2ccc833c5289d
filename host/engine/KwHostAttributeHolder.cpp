#include "KwHostAttributeHolder.h"

#include "com/KwAutomation.h"

namespace {
std::basic_string<OLECHAR> Wide(BSTR text) { return std::basic_string<OLECHAR>(text ? text : OLESTR(""), SysStringLen(text)); }
} // namespace

std::vector<std::string> KwHostAttributeHolder::AttributeNames() const
{
    std::vector<std::string> names;
    for (const KwHostAttributeEntry& a : m_Attributes) names.push_back(a.Name);
    return names;
}

const KwHostAttributeEntry* KwHostAttributeHolder::FindAttribute(const std::string& name) const noexcept
{
    for (const KwHostAttributeEntry& a : m_Attributes)
        if (a.Name == name) return &a;
    return nullptr;
}

void KwHostAttributeHolder::SetAttribute(const std::string& name, const KwHostVariant& value, LONG type)
{
    for (KwHostAttributeEntry& a : m_Attributes) {
        if (a.Name == name) {
            a.Value = value;
            a.Type = type;
            return;
        }
    }
    KwBstr wide = KwBstr::FromNarrow(name.c_str(), CP_UTF8);
    KwHostAttributeEntry entry;
    entry.WideName = Wide(wide.Get());
    entry.Name = name;
    entry.Value = value;
    entry.Type = type;
    m_Attributes.push_back(std::move(entry));
}

KwHostAttributeEntry* KwHostAttributeHolder::Lookup(BSTR name) noexcept
{
    UINT length = SysStringLen(name);
    for (KwHostAttributeEntry& a : m_Attributes)
        if (a.WideName.size() == length && (length == 0 || a.WideName.compare(0, length, name, length) == 0))
            return &a;
    return nullptr;
}

HRESULT KwHostAttributeHolder::DoGetAttributes(IDispatch** Attributes) noexcept
{
    if (!Attributes) return E_POINTER;
    *Attributes = nullptr;
    // The object is its own attribute collection.
    if (!FindInterface(IID_IKwAttribute)) return E_NOTIMPL;
    return InnerQueryInterface(IID_IKwAttribute, reinterpret_cast<void**>(Attributes));
}

HRESULT KwHostAttributeHolder::DoGetAttributeCount(LONG* Count) noexcept
{
    if (!Count) return E_POINTER;
    *Count = 0;
    *Count = static_cast<LONG>(m_Attributes.size());
    return S_OK;
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
    if (Type) VariantInit(Type);
    if (!Value) return E_POINTER;
    VariantInit(Value);
    const KwHostAttributeEntry* entry = Lookup(Name);
    if (!entry) return E_INVALIDARG;
    HRESULT hr = entry->Value.CopyTo(Value);
    if (FAILED(hr)) return hr;
    if (Type) {
        Type->vt = VT_I4;
        Type->lVal = entry->Type;
    }
    return S_OK;
    KW_HOST_CATCH
}

HRESULT KwHostAttributeHolder::DoPutAttribute(BSTR Name, const VARIANT& Value, LONG Type) noexcept
{
    KW_HOST_TRY
    if (!KwHostVariant::Keeps(Value.vt)) return DISP_E_BADVARTYPE;
    if (SysStringLen(Name) == 0) return E_INVALIDARG;
    KwHostVariant stored(Value);
    if (KwHostAttributeEntry* entry = Lookup(Name)) {
        entry->Value = std::move(stored);
        entry->Type = Type;
    } else {
        KwHostAttributeEntry added;
        added.WideName = Wide(Name);
        added.Name = KwNarrow(Name);
        added.Value = std::move(stored);
        added.Type = Type;
        m_Attributes.push_back(std::move(added));
    }
    return S_OK;
    KW_HOST_CATCH
}

HRESULT KwHostAttributeHolder::DoRemoveAttribute(BSTR Name) noexcept
{
    KwHostAttributeEntry* entry = Lookup(Name);
    if (!entry) return E_INVALIDARG;
    m_Attributes.erase(m_Attributes.begin() + (entry - m_Attributes.data()));
    return S_OK;
}

HRESULT KwHostAttributeHolder::DoRemoveAllAttributes() noexcept
{
    m_Attributes.clear();
    return S_OK;
}

HRESULT KwHostAttributeHolder::DoGetAttributeName(LONG Position, BSTR* Name) noexcept
{
    if (!Name) return E_POINTER;
    *Name = nullptr;
    if (Position < 0 || static_cast<size_t>(Position) >= m_Attributes.size()) return E_INVALIDARG;
    const KwHostAttributeEntry& entry = m_Attributes[static_cast<size_t>(Position)];
    *Name = SysAllocStringLen(entry.WideName.data(), static_cast<UINT>(entry.WideName.size()));
    return *Name ? S_OK : E_OUTOFMEMORY;
}

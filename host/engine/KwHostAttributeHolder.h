// The ordered attributes of a host object (documents, nodes, raster blocks,
// attribute collections) and the operations on them. A PutAttribute on
// an existing name replaces its value in place, keeping its position.
#pragma once

#include <string>
#include <vector>

#include "interfaces/KwFilterInterfaces.h"
#include "KwHostObject.h"
#include "KwHostVariant.h"

struct KwHostAttributeEntry {
    std::basic_string<OLECHAR> WideName;
    std::string Name; // UTF-8
    KwHostVariant Value;
    LONG Type = 0;
};

class KwHostAttributeHolder : public KwHostObject {
public:
    const std::vector<KwHostAttributeEntry>& Attributes() const noexcept { return m_Attributes; }
    std::vector<std::string> AttributeNames() const;
    // The attribute of that name (UTF-8), or null.
    const KwHostAttributeEntry* FindAttribute(const std::string& name) const noexcept;
    bool HasAttribute(const std::string& name) const noexcept { return FindAttribute(name) != nullptr; }
    // Sets an attribute directly, as the host itself does (not a filter's call).
    void SetAttribute(const std::string& name, const KwHostVariant& value, LONG type = 0);

protected:
    using KwHostObject::KwHostObject;

    HRESULT DoGetAttributes(IDispatch** Attributes) noexcept;
    HRESULT DoGetAttributeCount(LONG* Count) noexcept;
    HRESULT DoGetProtectAttributes(VARIANT_BOOL* Protected) noexcept;
    HRESULT DoPutProtectAttributes(VARIANT_BOOL Protected) noexcept;
    HRESULT DoGetAttribute(BSTR Name, VARIANT* Type, VARIANT* Value) noexcept;
    HRESULT DoPutAttribute(BSTR Name, const VARIANT& Value, LONG Type) noexcept;
    HRESULT DoRemoveAttribute(BSTR Name) noexcept;
    HRESULT DoRemoveAllAttributes() noexcept;
    HRESULT DoGetAttributeName(LONG Position, BSTR* Name) noexcept;

private:
    KwHostAttributeEntry* Lookup(BSTR name) noexcept;

    std::vector<KwHostAttributeEntry> m_Attributes;
    bool m_Protected = false;
};

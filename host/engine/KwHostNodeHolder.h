// The ordered children of a host document or node and the operations on
// them. Children are looked up by index value (integers as integers, texts as
// texts) in creation order; a second child with the same index is added after
// the first, and lookups find the first.
#pragma once

#include <string>
#include <vector>

#include "com/KwComPtr.h"
#include "KwHostAttributeHolder.h"

class KwHostNode;
class KwHostRasterBlock;

struct KwHostChildEntry {
    KwHostVariant Index;
    KwComPtr<IDispatch> Child;
    KwHostObject* Host = nullptr; // the host object behind `Child`, null for a child added from outside
    LONG ObjectType = 0;
    bool ProtectedChild = false;
};

class KwHostNodeHolder : public KwHostAttributeHolder {
public:
    const std::vector<KwHostChildEntry>& Children() const noexcept { return m_Children; }
    size_t ChildCount() const noexcept { return m_Children.size(); }
    // The first child with that index, or null.
    KwHostObject* FindChild(const VARIANT& index) const noexcept;
    KwHostNode* FindNode(LONG index) const noexcept;
    KwHostNode* FindNode(const std::string& index) const;
    // The raster blocks among the children, in creation order.
    std::vector<KwHostRasterBlock*> RasterBlocks() const;
    std::vector<KwHostNode*> ChildNodes() const;
    // Whether a value can index a child: a text or an integer.
    static bool ValidIndex(const VARIANT& index) noexcept;

protected:
    using KwHostAttributeHolder::KwHostAttributeHolder;

    HRESULT DoGetChild(const VARIANT& Index, VARIANT* Descriptor, VARIANT* ParentIndex, IDispatch** Child) noexcept;
    HRESULT DoAddChild(const VARIANT& Index, IDispatch* Child, VARIANT_BOOL Protected, VARIANT* Descriptor) noexcept;
    HRESULT DoCreateChild(const VARIANT& Index, const VARIANT& Type, VARIANT_BOOL Protected, VARIANT* Descriptor,
                          IDispatch** Child) noexcept;
    HRESULT DoRemoveChild(const VARIANT& Index) noexcept;
    HRESULT DoRemoveAllChildren() noexcept;
    HRESULT DoGetChildCount(LONG* Count) noexcept;
    HRESULT DoGetChildIndex(LONG Position, VARIANT* Index) noexcept;
    HRESULT DoGetProtectChildren(VARIANT_BOOL* Protected) noexcept;
    HRESULT DoPutProtectChildren(VARIANT_BOOL Protected) noexcept;

private:

    std::vector<KwHostChildEntry> m_Children;
    bool m_ProtectChildren = false;
};

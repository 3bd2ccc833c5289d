// Node-building operations of the load filter: reading a node selector, and
// finding or creating a child of a host node. No state.
#pragma once

#include "interfaces/KwFilterInterfaces.h"

// The Type of an attribute the load filter puts on a host object; what each
// means is the host's: 0 a plain attribute, 2 one the host shows as information.
const LONG AttributeTypePlain = 0;
const LONG AttributeTypeInfo = 2;

// Narrow text in the thread's ANSI code page as a BSTR. Text the code page
// cannot convert becomes the empty text; only an allocation failure gives null.
BSTR KwNarrowToBstr(const char* text) noexcept;

class CKwFilterSupport {
public:
    enum NodeKind : LONG { NodeByIndex = 0, NodeDefault = 1, NodeDefaultTrue = 2 };

    CKwFilterSupport() noexcept = default;
    virtual ~CKwFilterSupport() = default;

    // VT_EMPTY and VT_BOOL select the default node (index -1); VT_I2, VT_I4 and
    // VT_UI1 a node by index. Any other type: E_FAIL, kind and index untouched.
    HRESULT ParseNodeSpec(const VARIANT& NodeSpec, LONG* Kind, LONG* Index) const noexcept;

    // Finds the child at Index under Parent (through IKwChildren) or creates it as
    // ObjectType, protected. Created is set when it was made here; Loaded when an
    // existing child says "Loaded" = VARIANT_TRUE. The child goes to *Child (what
    // that held is released). E_FAIL without a parent answering IKwChildren; a
    // refused creation returns the host's result.
    HRESULT GetOrCreateChild(IUnknown* Parent, const VARIANT& Index, LONG ObjectType, bool* Created,
                             bool* Loaded, IDispatch** Child) const noexcept;
};

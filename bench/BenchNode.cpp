#include "BenchNode.h"

#include "BenchRasterBlock.h"

BenchNode::~BenchNode()
{
    for (Child& child : m_Children) child.object->Release();
}

HRESULT STDMETHODCALLTYPE BenchNode::QueryInterface(REFIID riid, void** ppv) noexcept
{
    if (!ppv) return E_POINTER;
    void* found = nullptr;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, IID_IKwDocument))
        found = static_cast<IKwDocument*>(this);
    else if (IsEqualGUID(riid, IID_IKwContents))
        found = static_cast<IKwContents*>(this);
    else if (IsEqualGUID(riid, IID_IKwContainer))
        found = static_cast<IKwContainer*>(this);
    else if (IsEqualGUID(riid, IID_IKwChildren))
        found = static_cast<IKwChildren*>(this);
    else if (IsEqualGUID(riid, IID_IKwAttribute))
        found = static_cast<IKwAttribute*>(this);
    *ppv = found;
    if (!found) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

bool BenchNode::KeyOf(const VARIANT& index, Child* key)
{
    switch (index.vt) {
    case VT_I2: key->number = index.iVal; return true;
    case VT_I4: key->number = index.lVal; return true;
    case VT_UI1: key->number = index.bVal; return true;
    case VT_BSTR:
        key->isText = true;
        if (index.bstrVal) key->text.assign(index.bstrVal, SysStringLen(index.bstrVal));
        return true;
    default: return false;
    }
}

HRESULT STDMETHODCALLTYPE BenchNode::GetChild(VARIANT index, VARIANT*, VARIANT*, IDispatch** child) noexcept
{
    if (!child) return E_POINTER;
    *child = nullptr;
    Child key;
    if (!KeyOf(index, &key)) return E_INVALIDARG;
    for (const Child& c : m_Children) {
        if (c.isText == key.isText && c.number == key.number && c.text == key.text) {
            *child = c.object;
            c.object->AddRef();
            return S_OK;
        }
    }
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE BenchNode::CreateChild(VARIANT index, VARIANT type, VARIANT_BOOL, VARIANT*,
                                                 IDispatch** child) noexcept
{
    if (!child) return E_POINTER;
    *child = nullptr;
    Child entry;
    if (!KeyOf(index, &entry)) return E_INVALIDARG;
    LONG kind = type.vt == VT_I2 ? type.iVal : type.vt == VT_I4 ? type.lVal : 0;
    try {
        if (kind == KW_RASTER_BLOCK) {
            entry.raster = BenchRasterBlock::Create();
            entry.object = entry.raster;
        } else if (kind == KW_CONTENTS || kind == KW_CONTAINER) {
            entry.node = BenchNode::Create();
            entry.object = static_cast<IKwDocument*>(entry.node);
        } else {
            return E_INVALIDARG;
        }
        m_Children.push_back(entry);
    } catch (...) {
        if (entry.object) entry.object->Release();
        return E_OUTOFMEMORY;
    }
    *child = entry.object;
    entry.object->AddRef();
    return S_OK;
}

BenchRasterBlock* BenchNode::LastRaster() const
{
    for (auto it = m_Children.rbegin(); it != m_Children.rend(); ++it) {
        if (it->raster) return it->raster;
        if (it->node)
            if (BenchRasterBlock* found = it->node->LastRaster()) return found;
    }
    return nullptr;
}

// A document, "Contents" node or node container of the bench-local host: it
// keeps its children (nodes and raster blocks) and counts attributes without
// storing them. One class answers all the node interfaces the load filter asks
// for; what it does per call is constant and small.
#pragma once

#include <string>
#include <vector>

#include "BenchComBase.h"

class BenchRasterBlock;

class BenchNode final : public IKwDocument,
                        public IKwContents,
                        public IKwContainer,
                        public IKwChildren,
                        public IKwAttribute {
public:
    static BenchNode* Create() { return new BenchNode(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
    BENCH_IMPLEMENT_REFCOUNT
    BENCH_IMPLEMENT_NO_DISPATCH

    // attributes
    HRESULT STDMETHODCALLTYPE get_Attributes(IDispatch**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_AttributeCount(LONG* count) noexcept override
    {
        if (count) *count = m_Attributes;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ProtectAttributes(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ProtectAttributes(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttribute(BSTR, VARIANT*, VARIANT*) noexcept override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE PutAttribute(BSTR, VARIANT, LONG) noexcept override
    {
        ++m_Attributes;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RemoveAttribute(BSTR) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveAllAttributes() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetAttributeName(LONG, BSTR*) noexcept override { return E_NOTIMPL; }

    // children
    HRESULT STDMETHODCALLTYPE get__EnumChildren(IUnknown**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChild(VARIANT index, VARIANT*, VARIANT*, IDispatch** child) noexcept override;
    HRESULT STDMETHODCALLTYPE AddChild(VARIANT, IDispatch*, VARIANT_BOOL, VARIANT*) noexcept override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateChild(VARIANT index, VARIANT type, VARIANT_BOOL, VARIANT*,
                                          IDispatch** child) noexcept override;
    HRESULT STDMETHODCALLTYPE RemoveChild(VARIANT) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveAllChildren() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ChildCount(LONG* count) noexcept override
    {
        if (count) *count = static_cast<LONG>(m_Children.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ProtectChildren(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ProtectChildren(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChildIndex(LONG, VARIANT*) noexcept override { return E_NOTIMPL; }

    // parents
    HRESULT STDMETHODCALLTYPE get_Parents(IDispatch**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ParentCount(LONG* count) noexcept override
    {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetParent(LONG, VARIANT*, VARIANT*, IDispatch**) noexcept override
    {
        return E_NOTIMPL;
    }

    // document
    HRESULT STDMETHODCALLTYPE LoadDocument(VARIANT*, IDispatch*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveDocument(VARIANT*, IDispatch*, IDispatch*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Open(VARIANT*, IDispatch*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReleaseDoc() noexcept override { return S_OK; }

    // The last raster block created anywhere below this node, or null.
    BenchRasterBlock* LastRaster() const;
    IKwDocument* AsDocument() { return static_cast<IKwDocument*>(this); }

private:
    struct Child {
        bool isText = false;
        LONG number = 0;
        std::basic_string<OLECHAR> text;
        IDispatch* object = nullptr;
        BenchNode* node = nullptr;          // set for node children
        BenchRasterBlock* raster = nullptr; // set for raster blocks
    };

    BenchNode() = default;
    ~BenchNode();
    static bool KeyOf(const VARIANT& index, Child* key);

    std::vector<Child> m_Children;
    LONG m_Attributes = 0;
};

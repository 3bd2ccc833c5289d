// A data object bound to one stream under a fixed storage name.
#pragma once

#include "BenchComBase.h"

class BenchDataObject final : public IKwDataObject {
public:
    static BenchDataObject* Create(IStream* stream) { return new BenchDataObject(stream); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch) ||
            IsEqualGUID(riid, IID_IKwDataObject)) {
            *ppv = static_cast<IKwDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    BENCH_IMPLEMENT_REFCOUNT
    BENCH_IMPLEMENT_NO_DISPATCH

    HRESULT STDMETHODCALLTYPE AttachToStorage(IUnknown*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindToStorage(BSTR, VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ResetStorage() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Storage(IUnknown** storage) noexcept override
    {
        if (!storage) return E_POINTER;
        *storage = m_Stream;
        m_Stream->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_StorageName(BSTR* name) noexcept override
    {
        if (!name) return E_POINTER;
        *name = SysAllocString(OLESTR("bench.jpg"));
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_TemporaryName(BSTR*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_StorageType(KW_STORAGE_TYPE*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_StorageScheme(KW_STORAGE_SCHEME*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_FileSize(VARIANT_BOOL, LONG*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CreationTime(VARIANT_BOOL, LONG*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LastAccessTime(VARIANT_BOOL, LONG*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LastWriteTime(VARIANT_BOOL, LONG*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindToStorageWrite(BSTR, KW_STORAGE_TYPE) noexcept override { return E_NOTIMPL; }

private:
    explicit BenchDataObject(IStream* stream) : m_Stream(stream) { m_Stream->AddRef(); }
    ~BenchDataObject() { m_Stream->Release(); }

    IStream* m_Stream;
};

// A class object of this process (a stand-in for the test server's class).
#pragma once

#include "KwPlatform.h"
#include "server/KwTestServer.h"

class LocalFactory : public IClassFactory {
public:
    // What it makes: objects of origin 0, counted but never freed.
    class Object : public IKwTestServerObject {
    public:
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
        {
            if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IKwTestServerObject)) {
                *ppv = this;
                AddRef();
                return S_OK;
            }
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
        ULONG STDMETHODCALLTYPE Release() override { return --refs; }
        LONG STDMETHODCALLTYPE Origin() override { return 0; }
        HMODULE STDMETHODCALLTYPE AttachedModule() override { return nullptr; }
        ULONG refs = 1;
    };

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override
    {
        return object.QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    LONG refs = 1;
    Object object;
};

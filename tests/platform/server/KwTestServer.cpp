// A minimal in-process server: one class, a class factory, a live-object count
// that DllCanUnloadNow answers from, and DllMain through the platform hooks.
#include "KwTestServer.h"

namespace {

LONG g_liveObjects = 0; // objects and server locks
HMODULE g_attachedModule = nullptr;

class TestObject final : public IKwTestServerObject {
public:
    TestObject() { InterlockedIncrement(&g_liveObjects); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IKwTestServerObject)) {
            *ppv = static_cast<IKwTestServerObject*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_Refs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG refs = InterlockedDecrement(&m_Refs);
        if (refs == 0) {
            delete this;
            InterlockedDecrement(&g_liveObjects);
        }
        return static_cast<ULONG>(refs);
    }
    LONG STDMETHODCALLTYPE Origin() override { return 1; }
    HMODULE STDMETHODCALLTYPE AttachedModule() override { return g_attachedModule; }

private:
    LONG m_Refs = 1;
};

class TestFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static: its count does not keep the server loaded.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        TestObject* object = new TestObject;
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) InterlockedIncrement(&g_liveObjects);
        else InterlockedDecrement(&g_liveObjects);
        return S_OK;
    }
};

TestFactory g_factory;

} // namespace

KW_IMPLEMENT_DLLMAIN_HOOKS()

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) g_attachedModule = instance;
    return TRUE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_KwTestServerObject)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow(void)
{
    return g_liveObjects == 0 ? S_OK : S_FALSE;
}

extern "C" __attribute__((visibility("default"))) LONG KwTestServerLiveObjects(void)
{
    return g_liveObjects;
}

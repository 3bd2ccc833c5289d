// A minimal _IKwFilterEvents sink living on the test's stack, for what the
// host's sink cannot do: answer the events interface with a failure of its choosing.
#pragma once

#include "interfaces/KwFilterInterfaces.h"

class TestEventSink final : public _IKwFilterEvents {
public:
    // What QueryInterface answers for _IKwFilterEvents (S_OK: the sink).
    HRESULT EventsQueryResult = S_OK;
    ULONG References = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, DIID__IKwFilterEvents)) {
            if (FAILED(EventsQueryResult)) return EventsQueryResult;
        } else if (!IsEqualIID(riid, IID_IUnknown)) {
            return E_NOINTERFACE;
        }
        *ppv = static_cast<_IKwFilterEvents*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
    ULONG STDMETHODCALLTYPE Release() override { return --References; }

    HRESULT STDMETHODCALLTYPE Progress(LONG, VARIANT_BOOL*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FontPath(BSTR*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE XrefPath(BSTR*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE XrefPathEx(BSTR*, BSTR, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Password(BSTR*) override { return E_NOTIMPL; }
};

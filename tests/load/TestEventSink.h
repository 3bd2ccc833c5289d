// An _IKwFilterEvents sink for the load tests: records every Progress value and
// answers as told. It lives on the test's stack; its count only proves that the
// filter released every reference it took.
#pragma once

#include <functional>
#include <vector>

#include "KwFilterInterfaces.h"

class TestEventSink final : public _IKwFilterEvents {
public:
    std::vector<LONG> Values;
    // When set, written to *Abort at every event from event number AnswerFrom (1-based) on.
    bool WriteAnswer = false;
    VARIANT_BOOL Answer = VARIANT_FALSE;
    int AnswerFrom = 1;
    // Called at every event after the answer was written.
    std::function<void(LONG progress, VARIANT_BOOL* abort)> OnProgress;
    HRESULT ProgressResult = S_OK;
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

    HRESULT STDMETHODCALLTYPE Progress(LONG progress, VARIANT_BOOL* abort) override
    {
        Values.push_back(progress);
        if (WriteAnswer && abort && static_cast<int>(Values.size()) >= AnswerFrom) *abort = Answer;
        if (OnProgress) OnProgress(progress, abort);
        return ProgressResult;
    }
    HRESULT STDMETHODCALLTYPE FontPath(BSTR*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE XrefPath(BSTR*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE XrefPathEx(BSTR*, BSTR, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Password(BSTR*) override { return E_NOTIMPL; }
};

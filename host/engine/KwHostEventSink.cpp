#include "KwHostEventSink.h"

#include "com/KwComPtr.h"
#include "KwHostContext.h"
#include "private/KwHostHooks.h"

HRESULT KwHostEventSink::Create(KwHostEventSink** out, std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    KW_HOST_TRY
    *out = new KwHostMade<KwHostEventSink>(KwHostContext::Ensure(std::move(context)), 0);
    return S_OK;
    KW_HOST_CATCH
}

bool KwHostEventSink::Refuses(REFIID riid) const noexcept
{
    return !m_AnswersEvents && IsEqualGUID(riid, DIID__IKwFilterEvents);
}

HRESULT STDMETHODCALLTYPE KwHostEventSink::Progress(LONG Progress, VARIANT_BOOL* Abort) noexcept
{
    KW_HOST_TRY
    m_Progress.push_back(Progress);
    if (!Abort) return E_POINTER;
    if (m_AbortAt != 0 && m_Progress.size() == m_AbortAt)
        *Abort = m_AbortValue;
    else if (m_AnswerAll)
        *Abort = m_AnswerValue;
    if (m_Callback) m_Callback(Progress, Abort);
    return m_ProgressResult;
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostEventSink::FontPath(BSTR*, LONG*) noexcept
{
    ++m_OtherEvents;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostEventSink::XrefPath(BSTR*, LONG*) noexcept
{
    ++m_OtherEvents;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostEventSink::XrefPathEx(BSTR*, BSTR, LONG*) noexcept
{
    ++m_OtherEvents;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostEventSink::Password(BSTR*) noexcept
{
    ++m_OtherEvents;
    return S_OK;
}

HRESULT KwHostEventSink::Connect(IUnknown* source) noexcept
{
    KwComPtr<IConnectionPointContainer> container;
    HRESULT hr = KwQuery(source, container.Receive());
    if (FAILED(hr)) return hr;
    KwComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(DIID__IKwFilterEvents, point.Receive());
    if (FAILED(hr)) return hr;
    if (!point) return E_FAIL;
    DWORD cookie = 0;
    hr = point->Advise(static_cast<_IKwFilterEvents*>(this), &cookie);
    if (SUCCEEDED(hr)) m_Cookie = cookie;
    return hr;
}

HRESULT KwHostEventSink::Disconnect(IUnknown* source) noexcept
{
    if (m_Cookie == 0) return S_FALSE;
    KwComPtr<IConnectionPointContainer> container;
    HRESULT hr = KwQuery(source, container.Receive());
    if (FAILED(hr)) return hr;
    KwComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(DIID__IKwFilterEvents, point.Receive());
    if (FAILED(hr)) return hr;
    if (!point) return E_FAIL;
    hr = point->Unadvise(m_Cookie);
    if (SUCCEEDED(hr)) m_Cookie = 0;
    return hr;
}

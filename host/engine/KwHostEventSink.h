// An event sink for the load filter's _IKwFilterEvents: records the Progress
// values and can answer abort at a chosen event with a chosen value.
#pragma once

#include <functional>
#include <vector>

#include "interfaces/KwFilterInterfaces.h"
#include "KwHostObject.h"

class KwHostEventSink : public KwHostImplements<KwHostObject, _IKwFilterEvents> {
public:
    static HRESULT Create(KwHostEventSink** out, std::shared_ptr<KwHostContext> context = nullptr) noexcept;

    // The events interface, while the sink is set not to answer events.
    bool Refuses(REFIID riid) const noexcept override;

    HRESULT STDMETHODCALLTYPE Progress(LONG Progress, VARIANT_BOOL* Abort) noexcept override;
    HRESULT STDMETHODCALLTYPE FontPath(BSTR* FontPath, LONG* Action) noexcept override;
    HRESULT STDMETHODCALLTYPE XrefPath(BSTR* XrefPath, LONG* Action) noexcept override;
    HRESULT STDMETHODCALLTYPE XrefPathEx(BSTR* XrefPath, BSTR XrefOriginalPath, LONG* Action) noexcept override;
    HRESULT STDMETHODCALLTYPE Password(BSTR* Password) noexcept override;

    // Advises this sink on the source's connection point for _IKwFilterEvents.
    HRESULT Connect(IUnknown* source) noexcept;
    // Unadvises it again. The sink keeps no reference to the source, so the
    // source is passed again (no reference cycle between filter and sink).
    HRESULT Disconnect(IUnknown* source) noexcept;
    DWORD Cookie() const noexcept { return m_Cookie; }

    const std::vector<LONG>& ProgressValues() const noexcept { return m_Progress; }
    // Calls of FontPath, XrefPath, XrefPathEx and Password (never fired by the JPEG filter).
    ULONG OtherEvents() const noexcept { return m_OtherEvents; }
    // At the eventNumber-th Progress event (1-based) write `value` to *Abort; 0: never.
    void AbortAt(ULONG eventNumber, VARIANT_BOOL value = VARIANT_TRUE) noexcept
    {
        m_AbortAt = eventNumber;
        m_AbortValue = value;
    }
    // Writes `value` to *Abort at every event that does not abort (for example VARIANT_FALSE).
    void AnswerEveryEvent(bool answer, VARIANT_BOOL value = VARIANT_FALSE) noexcept
    {
        m_AnswerAll = answer;
        m_AnswerValue = value;
    }
    void SetProgressResult(HRESULT result) noexcept { m_ProgressResult = result; }
    // Called at every Progress event after the abort rules.
    void SetCallback(std::function<void(LONG progress, VARIANT_BOOL* abort)> callback)
    {
        m_Callback = std::move(callback);
    }
    // When false the sink does not answer _IKwFilterEvents (Advise must refuse it).
    void SetAnswersEvents(bool answers) noexcept { m_AnswersEvents = answers; }

protected:
    using KwHostImplements::KwHostImplements;

private:
    std::vector<LONG> m_Progress;
    std::function<void(LONG, VARIANT_BOOL*)> m_Callback;
    DWORD m_Cookie = 0;
    ULONG m_AbortAt = 0;
    VARIANT_BOOL m_AbortValue = VARIANT_TRUE;
    bool m_AnswerAll = false;
    VARIANT_BOOL m_AnswerValue = VARIANT_FALSE;
    HRESULT m_ProgressResult = S_OK;
    ULONG m_OtherEvents = 0;
    bool m_AnswersEvents = true;
};

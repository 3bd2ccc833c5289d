#include "CProxy_IKwFilterEvents.h"

CProxy_IKwFilterEvents::CProxy_IKwFilterEvents(IConnectionPointContainer* container) noexcept
    : KwConnectionPoint(container, DIID__IKwFilterEvents)
{
}

HRESULT CProxy_IKwFilterEvents::Fire_Progress(LONG Progress, VARIANT_BOOL* Abort) noexcept
{
    if (!Abort) return E_POINTER;
    *Abort = VARIANT_FALSE;
    HRESULT result = S_OK;
    // Slots added while firing are not visited; a slot emptied by a sink is skipped.
    const ULONG slots = SlotCount();
    for (ULONG i = 0; i < slots; ++i) {
        IUnknown* slot = SinkAt(i);
        if (!slot) continue;
        // The slot holds the sink's answer for _IKwFilterEvents.
        _IKwFilterEvents* sink = static_cast<_IKwFilterEvents*>(slot);
        sink->AddRef();
        result = sink->Progress(Progress, Abort);
        sink->Release();
    }
    return result;
}

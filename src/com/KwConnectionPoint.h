// One connection point of a container object: the table of connected sinks for
// one outgoing interface. It lives inside its container and shares its lifetime:
// AddRef and Release go to the container, so a held connection point keeps the
// container (and so itself) alive.
#pragma once

#include "interfaces/KwFilterInterfaces.h"
#include "KwMemory.h"

class KwConnectionPoint : public IConnectionPoint {
public:
    static const ULONG InitialSlots = 4;

    KwConnectionPoint(IConnectionPointContainer* container, const IID& connectionIid) noexcept;
    // Releases every sink still connected.
    ~KwConnectionPoint();
    KwConnectionPoint(const KwConnectionPoint&) = delete;
    KwConnectionPoint& operator=(const KwConnectionPoint&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) noexcept override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) noexcept override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) noexcept override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) noexcept override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) noexcept override;

    // The table as the firing code reads it: slots in index order, each null or
    // a sink answering the connection interface. The table may move when a sink
    // advises during a firing, so read a slot through SinkAt each time.
    ULONG SlotCount() const noexcept { return m_SlotCount; }
    IUnknown* SinkAt(ULONG slot) const noexcept { return slot < m_SlotCount ? m_Sinks[slot] : nullptr; }

private:
    // Doubles the table (4 slots the first time); false when it cannot.
    bool Grow() noexcept;

    IConnectionPointContainer* m_Container; // owns this object; not counted
    const IID& m_ConnectionIid;
    KwBuffer<IUnknown*> m_Sinks;            // each the sink's answer for m_ConnectionIid
    ULONG m_SlotCount = 0;
};

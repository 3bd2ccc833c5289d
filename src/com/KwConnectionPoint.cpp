#include "KwConnectionPoint.h"

#include <cstring>

#include "KwComObjectBase.h"
#include "KwComPtr.h"
#include "KwEnumConnections.h"
#include "KwMemory.h"

KwConnectionPoint::KwConnectionPoint(IConnectionPointContainer* container, const IID& connectionIid) noexcept
    : m_Container(container), m_ConnectionIid(connectionIid)
{
}

KwConnectionPoint::~KwConnectionPoint()
{
    for (ULONG i = 0; i < m_SlotCount; ++i) {
        if (IUnknown* sink = m_Sinks[i]) {
            m_Sinks[i] = nullptr;
            sink->Release();
        }
    }
}

HRESULT STDMETHODCALLTYPE KwConnectionPoint::QueryInterface(REFIID riid, void** ppv) noexcept
{
    return KwQueryInterfaceOf<IConnectionPoint>(this, riid, ppv);
}

ULONG STDMETHODCALLTYPE KwConnectionPoint::AddRef() noexcept { return m_Container->AddRef(); }

ULONG STDMETHODCALLTYPE KwConnectionPoint::Release() noexcept { return m_Container->Release(); }

HRESULT STDMETHODCALLTYPE KwConnectionPoint::GetConnectionInterface(IID* pIID) noexcept
{
    if (!pIID) return E_POINTER;
    *pIID = m_ConnectionIid;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) noexcept
{
    if (!ppCPC) return E_POINTER;
    *ppCPC = m_Container;
    m_Container->AddRef();
    return S_OK;
}

bool KwConnectionPoint::Grow() noexcept
{
    ULONG newCount = m_SlotCount ? m_SlotCount * 2 : InitialSlots;
    if (newCount <= m_SlotCount || newCount > 0x7FFFFFFFu / sizeof(IUnknown*)) return false;
    KwBuffer<IUnknown*> table = KwAllocateBuffer<IUnknown*>(newCount);
    if (!table) return false;
    std::memset(table.get(), 0, newCount * sizeof(IUnknown*));
    if (m_SlotCount) std::memcpy(table.get(), m_Sinks.get(), m_SlotCount * sizeof(IUnknown*));
    m_Sinks = std::move(table);
    m_SlotCount = newCount;
    return true;
}

HRESULT STDMETHODCALLTYPE KwConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) noexcept
{
    if (pdwCookie) *pdwCookie = 0;
    if (!pUnkSink || !pdwCookie) return E_POINTER;
    void* answer = nullptr;
    HRESULT hr = pUnkSink->QueryInterface(m_ConnectionIid, &answer);
    if (hr == E_NOINTERFACE) return CONNECT_E_CANNOTCONNECT;
    if (FAILED(hr)) return hr;
    if (!answer) return CONNECT_E_CANNOTCONNECT;
    IUnknown* sink = static_cast<IUnknown*>(answer);
    ULONG slot = 0;
    while (slot < m_SlotCount && m_Sinks[slot]) ++slot;
    if (slot == m_SlotCount && !Grow()) {
        sink->Release();
        return CONNECT_E_ADVISELIMIT;
    }
    m_Sinks[slot] = sink;
    *pdwCookie = slot + 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwConnectionPoint::Unadvise(DWORD dwCookie) noexcept
{
    if (dwCookie == 0 || dwCookie > m_SlotCount || !m_Sinks[dwCookie - 1]) return CONNECT_E_NOCONNECTION;
    IUnknown* sink = m_Sinks[dwCookie - 1];
    m_Sinks[dwCookie - 1] = nullptr; // emptied first: the release may call back into us
    sink->Release();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwConnectionPoint::EnumConnections(IEnumConnections** ppEnum) noexcept
{
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    ULONG connected = 0;
    for (ULONG i = 0; i < m_SlotCount; ++i)
        if (m_Sinks[i]) ++connected;
    KwBuffer<CONNECTDATA> snapshot;
    if (connected) {
        snapshot = KwAllocateBuffer<CONNECTDATA>(connected);
        if (!snapshot) return E_OUTOFMEMORY;
        ULONG n = 0;
        for (ULONG i = 0; i < m_SlotCount; ++i) {
            if (m_Sinks[i]) {
                snapshot[n].pUnk = m_Sinks[i];
                snapshot[n].dwCookie = i + 1;
                ++n;
            }
        }
    }
    // The enumerator takes its own references; the snapshot array is only borrowed.
    return KwEnumConnections::Create(snapshot.get(), connected, ppEnum);
}

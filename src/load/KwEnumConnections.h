// An enumerator over a snapshot of a connection point's sinks: each entry holds
// a counted sink and its cookie, in slot order at the time of the snapshot.
#pragma once

#include "KwComObject.h"

class KwEnumConnections final : public IEnumConnections, public KwComObjectRoot<KwEnumConnections> {
public:
    KwEnumConnections() noexcept = default;
    ~KwEnumConnections();

    // A new enumerator over count entries (copied, each sink counted anew).
    static HRESULT Create(const CONNECTDATA* entries, ULONG count, IEnumConnections** out) noexcept;

    KW_IMPLEMENT_IUNKNOWN
    static const KwInterfaceEntry* InterfaceTable() noexcept;

    HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) noexcept override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) noexcept override;
    HRESULT STDMETHODCALLTYPE Reset() noexcept override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumConnections** ppEnum) noexcept override;

private:
    CONNECTDATA* m_Entries = nullptr;
    ULONG m_Count = 0;
    ULONG m_Position = 0;
};

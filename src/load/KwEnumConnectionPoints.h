// An enumerator over a container's connection points (the load filter has one).
#pragma once

#include "KwComObject.h"

class KwEnumConnectionPoints final : public IEnumConnectionPoints, public KwComObjectRoot<KwEnumConnectionPoints> {
public:
    static const ULONG MaxPoints = 1;

    KwEnumConnectionPoints() noexcept = default;
    ~KwEnumConnectionPoints();

    // A new enumerator over count connection points (at most MaxPoints), each counted.
    static HRESULT Create(IConnectionPoint* const* points, ULONG count, IEnumConnectionPoints** out) noexcept;

    KW_IMPLEMENT_IUNKNOWN
    static const KwInterfaceEntry* InterfaceTable() noexcept;

    HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) noexcept override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) noexcept override;
    HRESULT STDMETHODCALLTYPE Reset() noexcept override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** ppEnum) noexcept override;

private:
    IConnectionPoint* m_Points[MaxPoints] = {};
    ULONG m_Count = 0;
    ULONG m_Position = 0;
};

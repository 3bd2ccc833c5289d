// The common base of load filter classes: COM identity (plain or aggregated)
// answering IKwFilter (the identity), ISupportErrorInfo for IKwFilter and the
// connection point container with the _IKwFilterEvents event source. The class
// T implements the two IKwFilter methods.
#pragma once

#include "CProxy_IKwFilterEvents.h"
#include "com/KwComObject.h"
#include "com/KwEnumConnectionPoints.h"

template <typename T>
class IKwFilterImpl : public KwComObject<T, IKwFilter, ISupportErrorInfo, IConnectionPointContainer> {
public:
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) noexcept override
    {
        return KwSupportsErrorInfo<IKwFilter>(riid);
    }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) noexcept override
    {
        if (!ppEnum) return E_POINTER;
        IConnectionPoint* point = &m_Events;
        return KwEnumConnectionPoints::Create(&point, 1, ppEnum);
    }

    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) noexcept override
    {
        if (!ppCP) return E_POINTER;
        *ppCP = nullptr;
        if (!IsEqualIID(riid, DIID__IKwFilterEvents)) return CONNECT_E_NOCONNECTION;
        *ppCP = &m_Events;
        m_Events.AddRef();
        return S_OK;
    }

protected:
    IKwFilterImpl() noexcept : m_Events(static_cast<IConnectionPointContainer*>(this)) {}
    ~IKwFilterImpl() = default;

    // Declared last of the base: its sinks are released after the class's own members.
    CProxy_IKwFilterEvents m_Events;
};

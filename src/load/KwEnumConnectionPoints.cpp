#include "KwEnumConnectionPoints.h"

KwEnumConnectionPoints::~KwEnumConnectionPoints()
{
    for (ULONG i = 0; i < m_Count; ++i)
        if (m_Points[i]) m_Points[i]->Release();
}

const KwInterfaceEntry* KwEnumConnectionPoints::InterfaceTable() noexcept
{
    static const KwInterfaceEntry table[] = {
        KW_INTERFACE_ENTRY(KwEnumConnectionPoints, IEnumConnectionPoints),
        KW_INTERFACE_TABLE_END,
    };
    return table;
}

HRESULT KwEnumConnectionPoints::Create(IConnectionPoint* const* points, ULONG count,
                                       IEnumConnectionPoints** out) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (count > MaxPoints || (count && !points)) return E_INVALIDARG;
    KwEnumConnectionPoints* object = nullptr;
    HRESULT hr = KwCreatePlainObject(&object);
    if (FAILED(hr)) return hr;
    for (ULONG i = 0; i < count; ++i) {
        object->m_Points[i] = points[i];
        if (points[i]) points[i]->AddRef();
    }
    object->m_Count = count;
    *out = object;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwEnumConnectionPoints::Next(ULONG cConnections, IConnectionPoint** ppCP,
                                                       ULONG* pcFetched) noexcept
{
    if (pcFetched) *pcFetched = 0;
    if (!ppCP || (!pcFetched && cConnections != 1)) return E_POINTER;
    ULONG fetched = 0;
    while (fetched < cConnections && m_Position < m_Count) {
        ppCP[fetched] = m_Points[m_Position++];
        if (ppCP[fetched]) ppCP[fetched]->AddRef();
        ++fetched;
    }
    if (pcFetched) *pcFetched = fetched;
    return fetched == cConnections ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE KwEnumConnectionPoints::Skip(ULONG cConnections) noexcept
{
    ULONG left = m_Count - m_Position;
    if (cConnections > left) {
        m_Position = m_Count;
        return S_FALSE;
    }
    m_Position += cConnections;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwEnumConnectionPoints::Reset() noexcept
{
    m_Position = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwEnumConnectionPoints::Clone(IEnumConnectionPoints** ppEnum) noexcept
{
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    IEnumConnectionPoints* copy = nullptr;
    HRESULT hr = Create(m_Points, m_Count, &copy);
    if (FAILED(hr)) return hr;
    static_cast<KwEnumConnectionPoints*>(copy)->m_Position = m_Position;
    *ppEnum = copy;
    return S_OK;
}

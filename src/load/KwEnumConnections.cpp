#include "KwEnumConnections.h"

#include <cstring>

KwEnumConnections::~KwEnumConnections()
{
    for (ULONG i = 0; i < m_Count; ++i)
        if (m_Entries[i].pUnk) m_Entries[i].pUnk->Release();
    KwFree(m_Entries);
}

const KwInterfaceEntry* KwEnumConnections::InterfaceTable() noexcept
{
    static const KwInterfaceEntry table[] = {
        KW_INTERFACE_ENTRY(KwEnumConnections, IEnumConnections),
        KW_INTERFACE_TABLE_END,
    };
    return table;
}

HRESULT KwEnumConnections::Create(const CONNECTDATA* entries, ULONG count, IEnumConnections** out) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (count && !entries) return E_INVALIDARG;
    KwEnumConnections* object = nullptr;
    HRESULT hr = KwCreatePlainObject(&object);
    if (FAILED(hr)) return hr;
    if (count) {
        if (count > 0x7FFFFFFFu / sizeof(CONNECTDATA)) {
            object->Release();
            return E_OUTOFMEMORY;
        }
        object->m_Entries = static_cast<CONNECTDATA*>(KwAllocate(count * sizeof(CONNECTDATA)));
        if (!object->m_Entries) {
            object->Release();
            return E_OUTOFMEMORY;
        }
        std::memcpy(object->m_Entries, entries, count * sizeof(CONNECTDATA));
        for (ULONG i = 0; i < count; ++i)
            if (object->m_Entries[i].pUnk) object->m_Entries[i].pUnk->AddRef();
        object->m_Count = count;
    }
    *out = object;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwEnumConnections::Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) noexcept
{
    if (pcFetched) *pcFetched = 0;
    if (!rgcd || (!pcFetched && cConnections != 1)) return E_POINTER;
    ULONG fetched = 0;
    while (fetched < cConnections && m_Position < m_Count) {
        rgcd[fetched] = m_Entries[m_Position++];
        if (rgcd[fetched].pUnk) rgcd[fetched].pUnk->AddRef();
        ++fetched;
    }
    if (pcFetched) *pcFetched = fetched;
    return fetched == cConnections ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE KwEnumConnections::Skip(ULONG cConnections) noexcept
{
    ULONG left = m_Count - m_Position;
    if (cConnections > left) {
        m_Position = m_Count;
        return S_FALSE;
    }
    m_Position += cConnections;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwEnumConnections::Reset() noexcept
{
    m_Position = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwEnumConnections::Clone(IEnumConnections** ppEnum) noexcept
{
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    IEnumConnections* copy = nullptr;
    HRESULT hr = Create(m_Entries, m_Count, &copy);
    if (FAILED(hr)) return hr;
    static_cast<KwEnumConnections*>(copy)->m_Position = m_Position;
    *ppEnum = copy;
    return S_OK;
}

// A COM enumerator over a snapshot of counted items: Next, Skip, Reset, Clone.
// Items is the element type the interface hands out (an interface pointer or a
// record holding one); Traits says how to count the interface inside an item.
#pragma once

#include <cstring>

#include "KwComObject.h"

template <typename Interface, typename Item, typename Traits>
class KwEnumerator final : public KwComObject<KwEnumerator<Interface, Item, Traits>, Interface> {
public:
    KwEnumerator() noexcept = default;
    ~KwEnumerator()
    {
        for (ULONG i = 0; i < m_Count; ++i) Traits::Release(m_Items[i]);
    }

    // A new enumerator over count items (copied; each counted anew).
    static HRESULT Create(const Item* items, ULONG count, Interface** out) noexcept
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (count && !items) return E_INVALIDARG;
        if (count > 0x7FFFFFFFu / sizeof(Item)) return E_OUTOFMEMORY;
        KwEnumerator* object = nullptr;
        HRESULT hr = KwCreatePlainObject(&object);
        if (FAILED(hr)) return hr;
        if (count) {
            object->m_Items = KwAllocateBuffer<Item>(count);
            if (!object->m_Items) {
                object->Release();
                return E_OUTOFMEMORY;
            }
            std::memcpy(static_cast<void*>(object->m_Items.get()), items, count * sizeof(Item));
            for (ULONG i = 0; i < count; ++i) Traits::AddRef(object->m_Items[i]);
            object->m_Count = count;
        }
        *out = object;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* items, ULONG* fetchedOut) noexcept override
    {
        if (fetchedOut) *fetchedOut = 0;
        if (!items || (!fetchedOut && count != 1)) return E_POINTER;
        ULONG fetched = 0;
        while (fetched < count && m_Position < m_Count) {
            items[fetched] = m_Items[m_Position++];
            Traits::AddRef(items[fetched]);
            ++fetched;
        }
        if (fetchedOut) *fetchedOut = fetched;
        return fetched == count ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG count) noexcept override
    {
        ULONG left = m_Count - m_Position;
        if (count > left) {
            m_Position = m_Count;
            return S_FALSE;
        }
        m_Position += count;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Reset() noexcept override
    {
        m_Position = 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(Interface** copyOut) noexcept override
    {
        if (!copyOut) return E_POINTER;
        *copyOut = nullptr;
        Interface* copy = nullptr;
        HRESULT hr = Create(m_Items.get(), m_Count, &copy);
        if (FAILED(hr)) return hr;
        static_cast<KwEnumerator*>(copy)->m_Position = m_Position;
        *copyOut = copy;
        return S_OK;
    }

private:
    KwBuffer<Item> m_Items;
    ULONG m_Count = 0;
    ULONG m_Position = 0;
};

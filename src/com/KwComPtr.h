// A counted interface reference; shared by the filter and hosts.
#pragma once

#include "KwPlatform.h"

// A counted reference that releases on every path out of a scope.
template <typename T> class KwComPtr {
public:
    KwComPtr() noexcept = default;
    KwComPtr(T* p) noexcept : m_p(p)
    {
        if (m_p) m_p->AddRef();
    }
    KwComPtr(const KwComPtr& o) noexcept : KwComPtr(o.m_p) {}
    KwComPtr(KwComPtr&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    ~KwComPtr() { Reset(); }
    KwComPtr& operator=(const KwComPtr& o) noexcept
    {
        KwComPtr(o).Swap(*this);
        return *this;
    }
    KwComPtr& operator=(KwComPtr&& o) noexcept
    {
        KwComPtr(static_cast<KwComPtr&&>(o)).Swap(*this);
        return *this;
    }
    void Reset() noexcept
    {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    // Takes over a reference without adding one.
    void Attach(T* p) noexcept
    {
        Reset();
        m_p = p;
    }
    T* Detach() noexcept
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    // The address to receive an out-parameter; releases what is held first.
    T** Receive() noexcept
    {
        Reset();
        return &m_p;
    }
    void Swap(KwComPtr& o) noexcept
    {
        T* t = m_p;
        m_p = o.m_p;
        o.m_p = t;
    }
    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

// A counted interface reference; shared by the filter and hosts.
#pragma once

#include "KwPlatform.h"

// A counted reference that releases on every path out of a scope.
template <typename T> class KwComPtr {
public:
    KwComPtr() noexcept = default;
    KwComPtr(T* p) noexcept : m_P(p)
    {
        if (m_P) m_P->AddRef();
    }
    KwComPtr(const KwComPtr& o) noexcept : KwComPtr(o.m_P) {}
    KwComPtr(KwComPtr&& o) noexcept : m_P(o.m_P) { o.m_P = nullptr; }
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
        if (m_P) {
            T* p = m_P;
            m_P = nullptr;
            p->Release();
        }
    }
    // Takes over a reference without adding one.
    void Attach(T* p) noexcept
    {
        Reset();
        m_P = p;
    }
    T* Detach() noexcept
    {
        T* p = m_P;
        m_P = nullptr;
        return p;
    }
    // The address to receive an out-parameter; releases what is held first.
    T** Receive() noexcept
    {
        Reset();
        return &m_P;
    }
    void Swap(KwComPtr& o) noexcept
    {
        T* t = m_P;
        m_P = o.m_P;
        o.m_P = t;
    }
    T* Get() const noexcept { return m_P; }
    T* operator->() const noexcept { return m_P; }
    explicit operator bool() const noexcept { return m_P != nullptr; }

private:
    T* m_P = nullptr;
};

// The work of one host method as the test build's trace functions call it:
// a reference to the method's lambda, without copying or allocating.
#pragma once

#include "KwPlatform.h"

class KwHostBody {
public:
    template <class Body>
    explicit KwHostBody(Body& body) noexcept
        : m_Body(&body), m_Call([](void* b) -> HRESULT { return (*static_cast<Body*>(b))(); })
    {
    }
    // May throw what the method's work throws (std::bad_alloc).
    HRESULT operator()() const { return m_Call(m_Body); }

private:
    void* m_Body;
    HRESULT (*m_Call)(void*);
};

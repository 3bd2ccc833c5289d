// The one way this project builds a COM object, shared by the filter and the
// host engine (installed with the engine's headers, so it needs only the
// platform header).
//
// A class derives from its interfaces and from KwComObjectBase<Self, Traits>,
// and puts KW_IMPLEMENT_IUNKNOWN in its body. It answers QueryInterface either
// from a static table whose first entry is the identity (static
// InterfaceTable()), or by defining InterfaceFor(riid) itself. Objects start
// with a count of 1.
//
// Aggregation: an object given an outer unknown forwards QueryInterface,
// AddRef and Release of all its interfaces to the outer object, and hands the
// outer object an explicit non-delegating inner IUnknown that owns the count.
//
// Traits says what differs between the two sides:
//   Count    ULONG (objects used on one thread) or std::atomic<ULONG>
//   Lock     a member held for the object's lifetime (the filter's module lock)
//   static void Destroy(Self*)   how the object is freed at a count of 0
#pragma once

#include "KwPlatform.h"

struct KwInterfaceEntry {
    const IID* Iid;
    void* (*cast)(void* self);
};

template <typename Self, typename Interface> void* KwCastTo(void* self)
{
    return static_cast<Interface*>(static_cast<Self*>(self));
}

// Inside a class's InterfaceTable(): one entry per interface answered.
#define KW_INTERFACE_ENTRY(Self, Interface) {&KwUuidOf<Interface>(), &KwCastTo<Self, Interface>}
// An interface reached through a base that is ambiguous (IUnknown through the first interface).
#define KW_INTERFACE_ENTRY2(Self, Interface, Via)                                                                     \
    {&KwUuidOf<Interface>(), [](void* self) -> void* {                                                               \
         return static_cast<Interface*>(static_cast<Via*>(static_cast<Self*>(self)));                                 \
     }}
#define KW_INTERFACE_TABLE_END {nullptr, nullptr}

template <typename Self, typename Traits> class KwComObjectBase {
public:
    // The non-delegating IUnknown of an aggregated object.
    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(KwComObjectBase* owner) : m_Owner(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override
        {
            if (!ppv) return E_POINTER;
            if (IsEqualIID(riid, IID_IUnknown)) {
                *ppv = static_cast<IUnknown*>(this);
                m_Owner->InnerAddRef();
                return S_OK;
            }
            return m_Owner->InnerQueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() noexcept override { return m_Owner->InnerAddRef(); }
        ULONG STDMETHODCALLTYPE Release() noexcept override { return m_Owner->InnerRelease(); }

    private:
        KwComObjectBase* m_Owner;
    };

    KwComObjectBase() noexcept : m_Inner(this) {}
    KwComObjectBase(const KwComObjectBase&) = delete;
    KwComObjectBase& operator=(const KwComObjectBase&) = delete;

    // The controlling unknown's view: what the interfaces' IUnknown methods do.
    HRESULT OuterQueryInterface(REFIID riid, void** ppv) noexcept
    {
        if (m_Outer) return m_Outer->QueryInterface(riid, ppv);
        return InnerQueryInterface(riid, ppv);
    }
    ULONG OuterAddRef() noexcept { return m_Outer ? m_Outer->AddRef() : InnerAddRef(); }
    ULONG OuterRelease() noexcept { return m_Outer ? m_Outer->Release() : InnerRelease(); }

    // The object's own view: its interfaces and the count.
    HRESULT InnerQueryInterface(REFIID riid, void** ppv) noexcept
    {
        if (!ppv) return E_POINTER;
        *ppv = static_cast<Self*>(this)->InterfaceFor(riid);
        if (!*ppv) return E_NOINTERFACE;
        static_cast<IUnknown*>(*ppv)->AddRef();
        return S_OK;
    }
    ULONG InnerAddRef() noexcept { return ++m_RefCount; }
    ULONG InnerRelease() noexcept
    {
        ULONG count = --m_RefCount;
        if (count == 0) {
            m_RefCount = 1; // guards against re-entry from the destructor
            Traits::Destroy(static_cast<Self*>(this));
        }
        return count;
    }
    ULONG References() const noexcept { return m_RefCount; }

    // The interface pointer for riid from the class's table, or null; no
    // reference is added. A class that answers otherwise hides this.
    void* InterfaceFor(REFIID riid) noexcept
    {
        const KwInterfaceEntry* table = Self::InterfaceTable();
        void* self = static_cast<Self*>(this);
        if (IsEqualIID(riid, IID_IUnknown)) return table[0].cast(self);
        for (const KwInterfaceEntry* e = table; e->Iid; ++e)
            if (IsEqualIID(riid, *e->Iid)) return e->cast(self);
        return nullptr;
    }

    void SetOuter(IUnknown* outer) noexcept { m_Outer = outer; }
    IUnknown* InnerUnknownPtr() noexcept { return &m_Inner; }

protected:
    ~KwComObjectBase() = default;

private:
    typename Traits::Count m_RefCount{1};
    IUnknown* m_Outer = nullptr;
    InnerUnknown m_Inner;
    typename Traits::Lock m_Lock;
};

// IUnknown of a class, through the controlling unknown. KW_IMPLEMENT_IUNKNOWN_()
// for a template that overrides these in some instantiations only.
#define KW_IMPLEMENT_IUNKNOWN_(OVERRIDE)                                                                              \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept OVERRIDE                              \
    {                                                                                                                 \
        return this->OuterQueryInterface(riid, ppv);                                                                 \
    }                                                                                                                 \
    ULONG STDMETHODCALLTYPE AddRef() noexcept OVERRIDE { return this->OuterAddRef(); }                               \
    ULONG STDMETHODCALLTYPE Release() noexcept OVERRIDE { return this->OuterRelease(); }
#define KW_IMPLEMENT_IUNKNOWN KW_IMPLEMENT_IUNKNOWN_(override)

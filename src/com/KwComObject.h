// Small templates for COM objects without ATL.
//
// A class derives from its interfaces and from KwComObjectRoot<Self>, lists its
// interfaces in a static table whose first entry is the identity, and puts
// KW_IMPLEMENT_IUNKNOWN in its body. Objects are made only through
// KwCreateComObject / KwCreatePlainObject and start with a count of 1.
//
// Aggregation: an object created with an outer unknown forwards QueryInterface,
// AddRef and Release of all its interfaces to the outer object, and hands the
// outer object an explicit non-delegating inner IUnknown that owns the count.
//
// Reference counts are plain counters (apartment model); each object holds one
// module lock for its lifetime.
#pragma once

#include "KwComPtr.h"
#include "KwFilterInterfaces.h"
#include "KwMemory.h"
#include "KwModuleLock.h"

struct KwInterfaceEntry {
    const IID* Iid;
    void* (*cast)(void* self);
};

template <typename Self, typename Interface> void* KwCastTo(void* self)
{
    return static_cast<Interface*>(static_cast<Self*>(self));
}

// Inside a class's InterfaceTable(): one entry per interface answered.
#define KW_INTERFACE_ENTRY(Self, Interface) {&kw_uuidof<Interface>(), &KwCastTo<Self, Interface>}
// An interface reached through a base that is ambiguous (IUnknown through the first interface).
#define KW_INTERFACE_ENTRY2(Self, Interface, Via)                                                                     \
    {&kw_uuidof<Interface>(), [](void* self) -> void* {                                                               \
         return static_cast<Interface*>(static_cast<Via*>(static_cast<Self*>(self)));                                 \
     }}
#define KW_INTERFACE_TABLE_END {nullptr, nullptr}

template <typename Self> class KwComObjectRoot {
public:
    // The non-delegating IUnknown of an aggregated object.
    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(KwComObjectRoot* owner) : m_Owner(owner) {}
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
        KwComObjectRoot* m_Owner;
    };

    KwComObjectRoot() noexcept : m_Inner(this) {}
    KwComObjectRoot(const KwComObjectRoot&) = delete;
    KwComObjectRoot& operator=(const KwComObjectRoot&) = delete;

    // The controlling unknown's view: what the interfaces' IUnknown methods do.
    HRESULT OuterQueryInterface(REFIID riid, void** ppv) noexcept
    {
        if (m_Outer) return m_Outer->QueryInterface(riid, ppv);
        return InnerQueryInterface(riid, ppv);
    }
    ULONG OuterAddRef() noexcept { return m_Outer ? m_Outer->AddRef() : InnerAddRef(); }
    ULONG OuterRelease() noexcept { return m_Outer ? m_Outer->Release() : InnerRelease(); }

    // The object's own view: the interface table and the count.
    HRESULT InnerQueryInterface(REFIID riid, void** ppv) noexcept
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        const KwInterfaceEntry* table = Self::InterfaceTable();
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = table[0].cast(static_cast<Self*>(this));
        } else {
            for (const KwInterfaceEntry* e = table; e->Iid; ++e) {
                if (IsEqualIID(riid, *e->Iid)) {
                    *ppv = e->cast(static_cast<Self*>(this));
                    break;
                }
            }
        }
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
            KwDelete(static_cast<Self*>(this));
        }
        return count;
    }

    void SetOuter(IUnknown* outer) noexcept { m_Outer = outer; }
    IUnknown* InnerUnknownPtr() noexcept { return &m_Inner; }

protected:
    ~KwComObjectRoot() = default;

private:
    ULONG m_RefCount = 1;
    IUnknown* m_Outer = nullptr;
    InnerUnknown m_Inner;
    KwModuleLockHolder m_ModuleLock;
};

#define KW_IMPLEMENT_IUNKNOWN                                                                                         \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override                              \
    {                                                                                                                 \
        return this->OuterQueryInterface(riid, ppv);                                                                 \
    }                                                                                                                 \
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return this->OuterAddRef(); }                               \
    ULONG STDMETHODCALLTYPE Release() noexcept override { return this->OuterRelease(); }

// Creates an object as a class object's CreateInstance does: without an outer
// object a plain instance asked for riid; with one (riid must be IUnknown) an
// aggregated instance whose inner unknown is returned.
template <typename T> HRESULT KwCreateComObject(IUnknown* outer, REFIID riid, void** ppv) noexcept
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    T* object = KwNew<T>();
    if (!object) return E_OUTOFMEMORY;
    object->SetOuter(outer);
    HRESULT hr = S_OK;
    if (outer) {
        *ppv = object->InnerUnknownPtr();
        object->InnerAddRef();
    } else {
        hr = object->InnerQueryInterface(riid, ppv);
    }
    object->InnerRelease(); // the creation reference; destroys the object on failure
    return hr;
}

// Creates a plain object and hands it out with its single creation reference.
template <typename T> HRESULT KwCreatePlainObject(T** out) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    T* object = KwNew<T>();
    if (!object) return E_OUTOFMEMORY;
    *out = object;
    return S_OK;
}

// ISupportErrorInfo for a class whose own custom interface is Own: S_OK for
// that interface, S_FALSE for every other. No error object is ever set.
template <typename Own> class KwSupportErrorInfoImpl : public ISupportErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) noexcept override
    {
        return IsEqualIID(riid, kw_uuidof<Own>()) ? S_OK : S_FALSE;
    }
};

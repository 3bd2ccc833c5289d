// The one way this project builds a COM object, shared by the filter and the
// host engine (installed with the engine's headers, so it needs only the
// platform header).
//
// QueryInterface walks a compile-time list of the interfaces an object
// implements (KwInterfaceList): an interface is answered by the first entry
// that is it or derives from it, so IUnknown, IDispatch and ISequentialStream
// go to their first implementor and the first entry is the identity. An object
// whose answers depend on its state says so in one hook, Refuses(iid), asked
// for the interface requested and for the entry that would answer; the
// identity is never refused.
//
// KwImplements<Derived, Traits, I...> is a whole object: the interfaces, the
// count and IUnknown. Objects start with a count of 1.
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

#include <type_traits>

#include "KwPlatform.h"

template <typename... Interfaces> struct KwInterfaceList {
    static_assert(sizeof...(Interfaces) > 0, "an object implements at least one interface");

    // The pointer for riid of self (which derives from every entry), or null;
    // no reference is added. refuses(iid) says what the object declines now.
    template <typename Self, typename Refuses>
    static void* Find(Self* self, REFIID riid, const Refuses& refuses) noexcept
    {
        const bool identity = IsEqualIID(riid, IID_IUnknown);
        if (!identity && refuses(riid)) return nullptr;
        void* found = nullptr;
        ((found = found ? found : Entry<Interfaces>(self, riid, refuses)), ...);
        if (!found && identity) found = First(self);
        return found;
    }
    template <typename Self> static void* Find(Self* self, REFIID riid) noexcept
    {
        return Find(self, riid, [](REFIID) { return false; });
    }

    // The identity: the first entry.
    template <typename Self> static IUnknown* First(Self* self) noexcept
    {
        return static_cast<IUnknown*>(static_cast<FirstInterface*>(self));
    }

private:
    template <typename First, typename...> struct Head {
        typedef First Type;
    };
    typedef typename Head<Interfaces...>::Type FirstInterface;

    template <typename Interface> static bool Answers(REFIID riid) noexcept
    {
        if (IsEqualIID(riid, KwUuidOf<Interface>()) || IsEqualIID(riid, IID_IUnknown)) return true;
        if constexpr (std::is_base_of<IDispatch, Interface>::value)
            if (IsEqualIID(riid, IID_IDispatch)) return true;
        if constexpr (std::is_base_of<ISequentialStream, Interface>::value)
            if (IsEqualIID(riid, IID_ISequentialStream)) return true;
        return false;
    }
    template <typename Interface, typename Self, typename Refuses>
    static void* Entry(Self* self, REFIID riid, const Refuses& refuses) noexcept
    {
        if (!Answers<Interface>(riid) || refuses(KwUuidOf<Interface>())) return nullptr;
        return static_cast<Interface*>(self);
    }
};

// The count, the aggregation plumbing and the object's own QueryInterface;
// Self::InterfaceFor(riid) says which pointer answers riid.
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

// The IUnknown methods of every interface of an object, through its controlling unknown.
template <typename Base, typename... Interfaces> class KwUnknownOf : public Base, public Interfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override
    {
        return this->OuterQueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return this->OuterAddRef(); }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return this->OuterRelease(); }

protected:
    using Base::Base;
    ~KwUnknownOf() = default;
};

// A COM object implementing Interfaces (the first is its identity). Derived
// may declare `bool Refuses(REFIID) const noexcept` to decline interfaces by state.
template <typename Derived, typename Traits, typename... Interfaces>
class KwImplements : public KwUnknownOf<KwComObjectBase<Derived, Traits>, Interfaces...> {
public:
    typedef KwInterfaceList<Interfaces...> InterfaceList;

    // The interface pointer for riid, or null; no reference is added.
    void* InterfaceFor(REFIID riid) noexcept
    {
        Derived* self = static_cast<Derived*>(this);
        return InterfaceList::Find(self, riid, [self](REFIID iid) { return self->Refuses(iid); });
    }
    // The identity (the first interface); no reference is added.
    IUnknown* Identity() noexcept { return InterfaceList::First(static_cast<Derived*>(this)); }
    bool Refuses(REFIID) const noexcept { return false; }

protected:
    KwImplements() noexcept = default;
    ~KwImplements() = default;
};

// QueryInterface of an object that keeps its own count (a class object, a
// connection point living inside its container): the same list walk.
template <typename... Interfaces, typename Self>
HRESULT KwQueryInterfaceOf(Self* self, REFIID riid, void** ppv) noexcept
{
    if (!ppv) return E_POINTER;
    *ppv = KwInterfaceList<Interfaces...>::Find(self, riid);
    if (!*ppv) return E_NOINTERFACE;
    static_cast<IUnknown*>(*ppv)->AddRef();
    return S_OK;
}

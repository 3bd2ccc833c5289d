// The base of the host's COM objects: the project's object template with
// atomic counts, the engine context the object shares with its engine's other
// objects, and the process-wide count of live host objects, which is 0 again
// once a filter released everything.
#pragma once

#include <atomic>
#include <memory>

#include "com/KwComObjectBase.h"
#include "KwPlatform.h"

class KwHostContext;
class KwHostObject;

// Atomic counts: the attribute class object is shared by every thread of a
// process that loads files in parallel (kwjpeg's batch conversion). Host
// objects hold no module lock: the engine is not a module that unloads.
struct KwHostObjectTraits {
    typedef std::atomic<ULONG> Count;
    struct Lock {};
    static void Destroy(KwHostObject* object) noexcept;
};

// Host objects alive in this process (class objects of the engine excluded):
// how a host, or a test, proves that a filter released everything it took.
LONG KwHostLiveObjects() noexcept;

class KwHostObject : public KwComObjectBase<KwHostObject, KwHostObjectTraits> {
public:
    KwHostObject(const KwHostObject&) = delete;
    KwHostObject& operator=(const KwHostObject&) = delete;

    KwHostContext& Context() const noexcept { return *m_Context; }
    const std::shared_ptr<KwHostContext>& SharedContext() const noexcept { return m_Context; }
    // The KW_OBJECT_TYPE the object stands for (0 for streams, sinks and class objects).
    LONG ObjectType() const noexcept { return m_ObjectType; }

    // The interface pointer for riid, or null; no reference is added. Every
    // class answers from its interface list (KwHostImplements).
    virtual void* FindInterface(REFIID riid) noexcept = 0;
    // What QueryInterface answers: FindInterface, unless a class built over
    // an engine class (a test's decorator) answers less.
    virtual void* InterfaceFor(REFIID riid) noexcept { return FindInterface(riid); }
    // An interface of the class's list the object declines in its present state.
    virtual bool Refuses(REFIID) const noexcept { return false; }

protected:
    // The context is never null: the classes' Create functions make a private
    // one when none is given, so objects also work without an engine.
    KwHostObject(std::shared_ptr<KwHostContext> context, LONG objectType, bool counted = true) noexcept;
    virtual ~KwHostObject();

private:
    friend struct KwHostObjectTraits;

    std::shared_ptr<KwHostContext> m_Context;
    LONG m_ObjectType;
    bool m_Counted;
};

// A host class over Base (KwHostObject or one of its holders) implementing
// Interfaces, the first its identity: IUnknown and the interface list.
template <class Base, class... Interfaces> class KwHostImplements : public KwUnknownOf<Base, Interfaces...> {
public:
    void* FindInterface(REFIID riid) noexcept override
    {
        return KwInterfaceList<Interfaces...>::Find(this, riid, [this](REFIID iid) { return this->Refuses(iid); });
    }

protected:
    using KwUnknownOf<Base, Interfaces...>::KwUnknownOf;
};

// The host's dual interfaces are called through their vtables only; late binding is not offered.
#define KW_HOST_IDISPATCH_(OVERRIDE)                                                                                  \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) noexcept OVERRIDE                                       \
    {                                                                                                                 \
        if (!pctinfo) return E_POINTER;                                                                               \
        *pctinfo = 0;                                                                                                 \
        return S_OK;                                                                                                  \
    }                                                                                                                 \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) noexcept OVERRIDE                          \
    {                                                                                                                 \
        if (ppTInfo) *ppTInfo = nullptr;                                                                              \
        return E_NOTIMPL;                                                                                             \
    }                                                                                                                 \
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept OVERRIDE                 \
    {                                                                                                                 \
        return E_NOTIMPL;                                                                                             \
    }                                                                                                                 \
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept   \
        OVERRIDE                                                                                                      \
    {                                                                                                                 \
        return E_NOTIMPL;                                                                                             \
    }
#define KW_HOST_IDISPATCH KW_HOST_IDISPATCH_(override)

// Turns an exception inside a COM method into an HRESULT (allocation failure).
#define KW_HOST_TRY try {
#define KW_HOST_CATCH                                                                                                 \
    }                                                                                                                 \
    catch (...) { return E_OUTOFMEMORY; }

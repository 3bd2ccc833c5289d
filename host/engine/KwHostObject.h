// The host's own tiny COM object base: a reference count, the engine context
// the object shares with its engine's other objects, and the process-wide count
// of live host objects, which is 0 again once a filter released everything.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "KwPlatform.h"

class KwHostContext;

// Host objects alive in this process (class objects of the engine excluded).
LONG KwHostLiveObjects() noexcept;

class KwHostObject {
public:
    KwHostObject(const KwHostObject&) = delete;
    KwHostObject& operator=(const KwHostObject&) = delete;

    KwHostContext& Context() const noexcept { return *m_Context; }
    const std::shared_ptr<KwHostContext>& SharedContext() const noexcept { return m_Context; }
    // Where the object sits ("document", `document/"Contents"/1`).
    const std::string& Label() const noexcept { return m_Label; }
    // The KW_OBJECT_TYPE the object stands for (0 for streams, sinks and class objects).
    LONG ObjectType() const noexcept { return m_ObjectType; }
    ULONG References() const noexcept { return m_Refs.load(); }

    // The interface pointer for riid, or null; no reference is added.
    virtual void* FindInterface(REFIID riid) noexcept = 0;

protected:
    // The context is never null: the classes' Create functions make a private
    // one when none is given, so objects also work without an engine.
    KwHostObject(std::shared_ptr<KwHostContext> context, std::string label, LONG objectType,
                 bool counted = true) noexcept;
    virtual ~KwHostObject();

    ULONG AddRefObject() noexcept { return ++m_Refs; }
    ULONG ReleaseObject() noexcept
    {
        ULONG refs = --m_Refs;
        if (refs == 0) delete this;
        return refs;
    }
    // QueryInterface: the found pointer with a reference, or E_NOINTERFACE.
    HRESULT Answer(REFIID riid, void* found, void** ppv) noexcept;

private:
    std::shared_ptr<KwHostContext> m_Context;
    std::string m_Label;
    LONG m_ObjectType;
    bool m_Counted;
    // Atomic: the attribute class object is shared by every thread of a
    // process that loads files in parallel (kwjpeg's batch conversion).
    std::atomic<ULONG> m_Refs{1};
};

// IUnknown of a host class; the class defines FindInterface.
#define KW_HOST_IUNKNOWN                                                                                              \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override                               \
    {                                                                                                                 \
        return Answer(riid, ppv ? FindInterface(riid) : nullptr, ppv);                                                \
    }                                                                                                                 \
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return AddRefObject(); }                                     \
    ULONG STDMETHODCALLTYPE Release() noexcept override { return ReleaseObject(); }

// The host's dual interfaces are called through their vtables only; late binding is not offered.
#define KW_HOST_IDISPATCH_(OVERRIDE)                                                                                             \
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
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept OVERRIDE                                                                                                      \
    {                                                                                                                 \
        return E_NOTIMPL;                                                                                             \
    }
#define KW_HOST_IDISPATCH KW_HOST_IDISPATCH_(override)

// Turns an exception inside a COM method into an HRESULT (allocation failure).
#define KW_HOST_TRY try {
#define KW_HOST_CATCH                                                                                                 \
    }                                                                                                                 \
    catch (...) { return E_OUTOFMEMORY; }

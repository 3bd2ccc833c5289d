// The filter's COM objects: KwImplements with plain reference counts
// (apartment model), allocated at the library's allocation point, each holding
// one module lock for its lifetime; and how a class object creates them.
//
// Objects are made only through KwCreateComObject / KwCreatePlainObject and
// start with a count of 1.
#pragma once

#include "KwComObjectBase.h"
#include "KwComPtr.h"
#include "interfaces/KwFilterInterfaces.h"
#include "KwMemory.h"
#include "KwModuleLock.h"

struct KwFilterObjectTraits {
    typedef ULONG Count;
    typedef KwModuleLockHolder Lock;
    template <typename Self> static void Destroy(Self* object) noexcept { KwDelete(object); }
};

// A filter object: class Derived implementing Interfaces, the first its identity.
template <typename Derived, typename... Interfaces>
using KwComObject = KwImplements<Derived, KwFilterObjectTraits, Interfaces...>;

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

// ISupportErrorInfo::InterfaceSupportsErrorInfo of a class whose own custom
// interface is Own: S_OK for that interface, S_FALSE for every other. No error
// object is ever set.
template <typename Own> HRESULT KwSupportsErrorInfo(REFIID riid) noexcept
{
    return IsEqualIID(riid, KwUuidOf<Own>()) ? S_OK : S_FALSE;
}

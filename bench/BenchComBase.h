// Small helpers shared by the bench-local host objects: a plain reference
// count, and the IDispatch methods, which no filter call here needs.
#pragma once

#include "KwFilterInterfaces.h"

#define BENCH_IMPLEMENT_REFCOUNT                                                                                      \
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++m_Refs; }                                          \
    ULONG STDMETHODCALLTYPE Release() noexcept override                                                              \
    {                                                                                                                 \
        ULONG left = --m_Refs;                                                                                        \
        if (left == 0) delete this;                                                                                   \
        return left;                                                                                                  \
    }                                                                                                                 \
    ULONG m_Refs = 1;

#define BENCH_IMPLEMENT_NO_DISPATCH                                                                                   \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override                                        \
    {                                                                                                                 \
        if (count) *count = 0;                                                                                        \
        return S_OK;                                                                                                  \
    }                                                                                                                 \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }          \
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override                 \
    {                                                                                                                 \
        return E_NOTIMPL;                                                                                             \
    }                                                                                                                 \
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept    \
        override                                                                                                      \
    {                                                                                                                 \
        return E_NOTIMPL;                                                                                             \
    }

#include "CountingDispatch.h"

HRESULT CountingDispatch::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CountingDispatch::AddRef()
{
    EXPECT_FALSE(destroyed) << "AddRef after the last Release";
    return static_cast<ULONG>(++refs);
}

ULONG CountingDispatch::Release()
{
    EXPECT_FALSE(destroyed) << "Release after the last Release";
    EXPECT_GT(refs, 0);
    if (--refs == 0) destroyed = true;
    return static_cast<ULONG>(refs);
}

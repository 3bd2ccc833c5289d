// Stand-in for <unknwn.h>, <objidl.h>, <oaidl.h>, <ocidl.h>, <oleauto.h> and
// <objbase.h> on non-Windows systems: the COM interfaces, BSTR, VARIANT and the
// COM runtime calls, with the Windows layouts and semantics.
#pragma once

#include "KwWinTypes.h"

// Interfaces are structs of pure virtual methods without a virtual destructor,
// so the vtable slots are exactly the methods in declaration order.
#define KW_INTERFACE_STRUCT struct

KW_INTERFACE_STRUCT IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct IDispatch;
struct ITypeInfo; // opaque here: type information is not served on this platform

// ---------------------------------------------------------------- automation types

struct tagVARIANT;
typedef tagVARIANT VARIANT;

typedef struct tagSAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
} SAFEARRAYBOUND;

// Only one-dimensional arrays of plain values are made here (SafeArrayCreateVector).
typedef struct tagSAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY;
static_assert(sizeof(SAFEARRAY) == (sizeof(void*) == 8 ? 32 : 24), "SAFEARRAY must have the Windows layout");

#define FADF_HAVEVARTYPE 0x0080
#define FADF_CREATEVECTOR 0x2000
typedef VARIANT VARIANTARG;

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};

struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        VARIANT* pvarVal;
        PVOID byref;
        struct {
            PVOID pvRecord;
            PVOID pRecInfo;
        } rec;
    };
};
static_assert(sizeof(VARIANT) == (sizeof(void*) == 8 ? 24 : 16), "VARIANT must have the Windows layout");
static_assert(offsetof(VARIANT, lVal) == 8, "VARIANT value starts after the 8-byte header");
static_assert(sizeof(OLECHAR) == 2, "OLECHAR is a 16-bit code unit");
static_assert(sizeof(VARIANT_BOOL) == 2, "VARIANT_BOOL is 16-bit");
static_assert(sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(HRESULT) == 4 && sizeof(DWORD) == 4, "32-bit integers");
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");

typedef struct tagDISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(struct tagEXCEPINFO*);
    SCODE scode;
} EXCEPINFO;

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

KW_INTERFACE_STRUCT IDispatch : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT * pctinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo * *ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR * rgszNames, UINT cNames, LCID lcid,
                                                    DISPID * rgDispId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                             DISPPARAMS * pDispParams, VARIANT * pVarResult,
                                             EXCEPINFO * pExcepInfo, UINT * puArgErr) = 0;
};

// ---------------------------------------------------------------- streams

typedef struct tagSTATSTG {
    LPOLESTR pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
} STATSTG;

enum tagSTATFLAG { STATFLAG_DEFAULT = 0, STATFLAG_NONAME = 1, STATFLAG_NOOPEN = 2 };
enum tagSTREAM_SEEK { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
enum tagSTGTY { STGTY_STORAGE = 1, STGTY_STREAM = 2, STGTY_LOCKBYTES = 3, STGTY_PROPERTY = 4 };
#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L
#define STGC_DEFAULT 0

KW_INTERFACE_STRUCT ISequentialStream : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

KW_INTERFACE_STRUCT IStream : public ISequentialStream
{
    virtual HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER * plibNewPosition) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyTo(IStream * pstm, ULARGE_INTEGER cb, ULARGE_INTEGER * pcbRead,
                                             ULARGE_INTEGER * pcbWritten) = 0;
    virtual HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
    virtual HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG * pstatstg, DWORD grfStatFlag) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IStream * *ppstm) = 0;
};

// ---------------------------------------------------------------- class objects, errors, connection points

KW_INTERFACE_STRUCT IClassFactory : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown * pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

KW_INTERFACE_STRUCT ISupportErrorInfo : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

struct IConnectionPoint;
struct IEnumConnections;

typedef struct tagCONNECTDATA {
    IUnknown* pUnk;
    DWORD dwCookie;
} CONNECTDATA;

KW_INTERFACE_STRUCT IEnumConnectionPoints : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, IConnectionPoint * *ppCP, ULONG * pcFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints * *ppEnum) = 0;
};

KW_INTERFACE_STRUCT IConnectionPointContainer : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints * *ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint * *ppCP) = 0;
};

KW_INTERFACE_STRUCT IEnumConnections : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, CONNECTDATA * rgcd, ULONG * pcFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumConnections * *ppEnum) = 0;
};

KW_INTERFACE_STRUCT IConnectionPoint : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID * pIID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer * *ppCPC) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown * pUnkSink, DWORD * pdwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections * *ppEnum) = 0;
};

KWPLATFORM_API const IID IID_IUnknown;
KWPLATFORM_API const IID IID_IDispatch;
KWPLATFORM_API const IID IID_ISequentialStream;
KWPLATFORM_API const IID IID_IStream;
KWPLATFORM_API const IID IID_IClassFactory;
KWPLATFORM_API const IID IID_ISupportErrorInfo;
KWPLATFORM_API const IID IID_IConnectionPointContainer;
KWPLATFORM_API const IID IID_IConnectionPoint;
KWPLATFORM_API const IID IID_IEnumConnectionPoints;
KWPLATFORM_API const IID IID_IEnumConnections;
KWPLATFORM_API const IID IID_NULL;
#define GUID_NULL IID_NULL
#define CLSID_NULL IID_NULL

// ---------------------------------------------------------------- BSTR and VARIANT

KWPLATFORM_API BSTR SysAllocString(const OLECHAR* psz);
KWPLATFORM_API BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
KWPLATFORM_API BSTR SysAllocStringByteLen(LPCSTR psz, UINT len);
KWPLATFORM_API INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
KWPLATFORM_API void SysFreeString(BSTR bstrString);
KWPLATFORM_API UINT SysStringLen(BSTR pbstr);
KWPLATFORM_API UINT SysStringByteLen(BSTR bstr);

KWPLATFORM_API void VariantInit(VARIANTARG* pvarg);
KWPLATFORM_API HRESULT VariantClear(VARIANTARG* pvarg);
KWPLATFORM_API HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);

KWPLATFORM_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
KWPLATFORM_API HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
KWPLATFORM_API HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
KWPLATFORM_API HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
KWPLATFORM_API HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
KWPLATFORM_API HRESULT SafeArrayDestroy(SAFEARRAY* psa);

// ---------------------------------------------------------------- the COM runtime

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define REGCLS_SINGLEUSE 0
#define REGCLS_MULTIPLEUSE 1
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_MULTITHREADED 0x0

KWPLATFORM_API HRESULT CoInitialize(LPVOID pvReserved);
KWPLATFORM_API HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
KWPLATFORM_API void CoUninitialize(void);
KWPLATFORM_API HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                                             LPDWORD lpdwRegister);
KWPLATFORM_API HRESULT CoRevokeClassObject(DWORD dwRegister);
KWPLATFORM_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                                        LPVOID* ppv);
KWPLATFORM_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                                        LPVOID* ppv);
// A library whose DllCanUnloadNow says S_OK is marked; a later call unloads it
// if it still says so, the delay has passed since and nothing has used it in
// between. The delay is in milliseconds, ten minutes for INFINITE and the
// plain form; 0 unloads at once, at the caller's risk.
KWPLATFORM_API void CoFreeUnusedLibraries(void);
KWPLATFORM_API void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved);
KWPLATFORM_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
KWPLATFORM_API HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
KWPLATFORM_API HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
KWPLATFORM_API int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
KWPLATFORM_API LPVOID CoTaskMemAlloc(SIZE_T cb);
KWPLATFORM_API void CoTaskMemFree(LPVOID pv);


// BSTR, VARIANT and one-dimensional SAFEARRAY with the OLE Automation layout
// and ownership rules.
#include "KwPlatform.h"

#include <cstdlib>

namespace {

// A BSTR block: 4 unused bytes, the 32-bit byte length, the text, a 16-bit
// terminator. The unused bytes keep the text 8-byte aligned, as malloc's
// blocks are; the length sits right before the text, where callers expect it.
constexpr size_t Header = 8;
constexpr size_t MaxBytes = 0x7FFFFFF0u; // keeps header + text + terminator well inside 32 bits

BSTR AllocBytes(const void* data, size_t bytes)
{
    if (bytes > MaxBytes) return nullptr;
    unsigned char* block = static_cast<unsigned char*>(std::malloc(Header + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    std::memset(block, 0, 4);
    const uint32_t length = static_cast<uint32_t>(bytes);
    std::memcpy(block + 4, &length, sizeof(length));
    if (data && bytes) std::memcpy(block + Header, data, bytes);
    block[Header + bytes] = 0;
    block[Header + bytes + 1] = 0;
    return reinterpret_cast<BSTR>(block + Header);
}

uint32_t ByteLength(BSTR s)
{
    uint32_t length;
    std::memcpy(&length, reinterpret_cast<const unsigned char*>(s) - 4, sizeof(length));
    return length;
}

size_t WideLength(const OLECHAR* s)
{
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

// The plain types whose value is copied bit for bit (VT_DECIMAL spans the
// reserved words too, so the whole VARIANT is copied for every type).
bool IsPlainType(VARTYPE vt)
{
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_ERROR:
    case VT_BOOL:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

// Bytes of one element of the arrays made here: byte vectors, which is what
// attribute values need (0 for every other element type).
ULONG ArrayElementSize(VARTYPE vt)
{
    return vt == VT_UI1 ? 1 : 0;
}

// A by-reference variant points at storage the caller owns; any base type
// that may be referenced is accepted (VT_VARIANT only by reference).
bool IsValidByRef(VARTYPE vt)
{
    const VARTYPE base = vt & ~VT_BYREF;
    if (base & VT_ARRAY) return false; // arrays are only held by value here
    if (base == VT_EMPTY || base == VT_NULL) return false;
    return IsPlainType(base) || base == VT_BSTR || base == VT_DISPATCH || base == VT_UNKNOWN || base == VT_VARIANT;
}

bool IsValidType(VARTYPE vt)
{
    if (vt & VT_BYREF) return IsValidByRef(vt);
    if (vt & VT_ARRAY) return ArrayElementSize(vt & ~VT_ARRAY) != 0;
    return IsPlainType(vt) || vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

// The block of SafeArrayCreateVector: the element type in the 4 bytes right
// before the descriptor (FADF_HAVEVARTYPE), then the descriptor, then the data.
constexpr size_t ArrayHeader = 16;
constexpr size_t ArrayDataOffset = (sizeof(SAFEARRAY) + 15) / 16 * 16;
constexpr size_t MaxArrayBytes = 0x7FFFFFF0u;

unsigned char* ArrayBlock(SAFEARRAY* psa) { return reinterpret_cast<unsigned char*>(psa) - ArrayHeader; }

VARTYPE ArrayType(const SAFEARRAY* psa)
{
    VARTYPE vt;
    std::memcpy(&vt, reinterpret_cast<const unsigned char*>(psa) - 4, sizeof(vt));
    return vt;
}

// A deep copy of a vector of plain values; null when it cannot be had.
SAFEARRAY* CopyArray(const SAFEARRAY* source)
{
    if (source->cDims != 1 || !(source->fFeatures & FADF_HAVEVARTYPE)) return nullptr;
    SAFEARRAY* copy = SafeArrayCreateVector(ArrayType(source), source->rgsabound[0].lLbound,
                                            source->rgsabound[0].cElements);
    if (!copy) return nullptr;
    const size_t bytes = size_t(source->rgsabound[0].cElements) * source->cbElements;
    if (bytes && source->pvData) std::memcpy(copy->pvData, source->pvData, bytes);
    return copy;
}

} // namespace

KWPLATFORM_API BSTR SysAllocString(const OLECHAR* psz)
{
    if (!psz) return nullptr;
    const size_t n = WideLength(psz);
    if (n > MaxBytes / sizeof(OLECHAR)) return nullptr;
    return AllocBytes(psz, n * sizeof(OLECHAR));
}

KWPLATFORM_API BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui)
{
    if (ui > MaxBytes / sizeof(OLECHAR)) return nullptr;
    return AllocBytes(strIn, static_cast<size_t>(ui) * sizeof(OLECHAR));
}

KWPLATFORM_API BSTR SysAllocStringByteLen(LPCSTR psz, UINT len)
{
    return AllocBytes(psz, len);
}

KWPLATFORM_API INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz)
{
    if (!pbstr) return FALSE;
    // The new text may lie inside the old string: copy first, then free.
    BSTR copy = nullptr;
    if (psz) {
        copy = SysAllocString(psz);
        if (!copy) return FALSE;
    }
    SysFreeString(*pbstr);
    *pbstr = copy;
    return TRUE;
}

KWPLATFORM_API void SysFreeString(BSTR bstrString)
{
    if (!bstrString) return;
    std::free(reinterpret_cast<unsigned char*>(bstrString) - Header);
}

KWPLATFORM_API UINT SysStringLen(BSTR pbstr)
{
    return pbstr ? ByteLength(pbstr) / sizeof(OLECHAR) : 0;
}

KWPLATFORM_API UINT SysStringByteLen(BSTR bstr)
{
    return bstr ? ByteLength(bstr) : 0;
}

KWPLATFORM_API void VariantInit(VARIANTARG* pvarg)
{
    if (!pvarg) return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

KWPLATFORM_API HRESULT VariantClear(VARIANTARG* pvarg)
{
    if (!pvarg) return E_INVALIDARG;
    const VARTYPE vt = pvarg->vt;
    if (!IsValidType(vt)) return DISP_E_BADVARTYPE;
    if (vt & VT_ARRAY) {
        // A locked array stays, and so does the variant that owns it.
        const HRESULT hr = SafeArrayDestroy(pvarg->parray);
        if (FAILED(hr)) return hr;
    } else if (!(vt & VT_BYREF)) {
        if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            // Take the pointer out first: Release may re-enter and look at this variant.
            IUnknown* unk = pvarg->punkVal;
            pvarg->vt = VT_EMPTY;
            pvarg->punkVal = nullptr;
            if (unk) unk->Release();
        }
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

KWPLATFORM_API HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc)
{
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    const VARTYPE vt = pvargSrc->vt;
    if (!IsValidType(vt)) return DISP_E_BADVARTYPE;
    if (pvargDest == pvargSrc) return S_OK;

    // Build the copy before touching the destination, so a failed
    // allocation leaves it as it was.
    VARIANT copy;
    std::memcpy(&copy, pvargSrc, sizeof(VARIANT));
    if (vt & VT_ARRAY) {
        if (pvargSrc->parray) {
            copy.parray = CopyArray(pvargSrc->parray);
            if (!copy.parray) return E_OUTOFMEMORY;
        }
    } else if (!(vt & VT_BYREF)) {
        if (vt == VT_BSTR && pvargSrc->bstrVal) {
            copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal),
                                                 SysStringByteLen(pvargSrc->bstrVal));
            if (!copy.bstrVal) return E_OUTOFMEMORY;
        } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && copy.punkVal) {
            // Before the destination is cleared: it may hold the source's object.
            copy.punkVal->AddRef();
        }
    }
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    std::memcpy(pvargDest, &copy, sizeof(VARIANT));
    return S_OK;
}

KWPLATFORM_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements)
{
    const ULONG elementSize = ArrayElementSize(vt);
    if (elementSize == 0) return nullptr;
    if (cElements > MaxArrayBytes / elementSize) return nullptr;
    const size_t bytes = size_t(cElements) * elementSize;
    unsigned char* block = static_cast<unsigned char*>(std::calloc(1, ArrayHeader + ArrayDataOffset + bytes));
    if (!block) return nullptr;
    SAFEARRAY* psa = reinterpret_cast<SAFEARRAY*>(block + ArrayHeader);
    std::memcpy(block + ArrayHeader - 4, &vt, sizeof(vt));
    psa->cDims = 1;
    psa->fFeatures = FADF_HAVEVARTYPE | FADF_CREATEVECTOR;
    psa->cbElements = elementSize;
    psa->cLocks = 0;
    psa->pvData = block + ArrayHeader + ArrayDataOffset;
    psa->rgsabound[0].cElements = cElements;
    psa->rgsabound[0].lLbound = lLbound;
    return psa;
}

KWPLATFORM_API HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData)
{
    if (!psa || !ppvData) return E_INVALIDARG;
    // The lock count is 16 bits wide on every Windows version.
    if (psa->cLocks >= 0xFFFF) return E_UNEXPECTED;
    ++psa->cLocks;
    *ppvData = psa->pvData;
    return S_OK;
}

KWPLATFORM_API HRESULT SafeArrayUnaccessData(SAFEARRAY* psa)
{
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

KWPLATFORM_API HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound)
{
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

KWPLATFORM_API HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound)
{
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
    // An empty vector's upper bound lies one below its lower bound; the sum wraps as Windows' does.
    *plUbound = static_cast<LONG>(static_cast<ULONG>(bound.lLbound) + bound.cElements - 1u);
    return S_OK;
}

KWPLATFORM_API HRESULT SafeArrayDestroy(SAFEARRAY* psa)
{
    if (!psa) return S_OK;
    if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
    std::free(ArrayBlock(psa));
    return S_OK;
}

KWPLATFORM_API LPVOID CoTaskMemAlloc(SIZE_T cb)
{
    return std::malloc(cb ? cb : 1);
}

KWPLATFORM_API void CoTaskMemFree(LPVOID pv)
{
    std::free(pv);
}

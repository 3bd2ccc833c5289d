#include "ByteArrayProbe.h"

#include <cstdio>
#include <cstring>

#include "KwPlatform.h"

namespace {

std::string Hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

#define KW_EXPECT_HR(call, expected)                                                                                \
    do {                                                                                                           \
        const HRESULT got = (call);                                                                                \
        if (got != (expected)) return std::string(#call " gave ") + Hex(got) + ", not " #expected;                  \
    } while (0)
#define KW_EXPECT(condition)                                                                                        \
    do {                                                                                                           \
        if (!(condition)) return std::string("expected " #condition);                                              \
    } while (0)

std::string Probe(SAFEARRAY* bytes, VARIANT& held, VARIANT& copy)
{
    KW_EXPECT(bytes != nullptr);
    KW_EXPECT(bytes->cDims == 1 && bytes->cbElements == 1 && bytes->cLocks == 0);
    LONG bound = 0;
    KW_EXPECT_HR(SafeArrayGetLBound(bytes, 1, &bound), S_OK);
    KW_EXPECT(bound == 3);
    KW_EXPECT_HR(SafeArrayGetUBound(bytes, 1, &bound), S_OK);
    KW_EXPECT(bound == 7);
    KW_EXPECT_HR(SafeArrayGetLBound(bytes, 0, &bound), DISP_E_BADINDEX);
    KW_EXPECT_HR(SafeArrayGetUBound(bytes, 2, &bound), DISP_E_BADINDEX);
    KW_EXPECT_HR(SafeArrayGetLBound(nullptr, 1, &bound), E_INVALIDARG);
    KW_EXPECT_HR(SafeArrayGetUBound(bytes, 1, nullptr), E_INVALIDARG);

    void* data = nullptr;
    KW_EXPECT_HR(SafeArrayAccessData(bytes, nullptr), E_INVALIDARG);
    KW_EXPECT_HR(SafeArrayAccessData(bytes, &data), S_OK);
    KW_EXPECT(data != nullptr && bytes->cLocks == 1);
    std::memcpy(data, "\x00\xFFICC", 5);
    KW_EXPECT_HR(SafeArrayDestroy(bytes), DISP_E_ARRAYISLOCKED);
    KW_EXPECT_HR(SafeArrayUnaccessData(bytes), S_OK);
    KW_EXPECT_HR(SafeArrayUnaccessData(bytes), E_UNEXPECTED);
    KW_EXPECT_HR(SafeArrayUnaccessData(nullptr), E_INVALIDARG);

    // The host keeps a copy of what the filter hands over: its own bytes, the same bounds.
    held.vt = VT_ARRAY | VT_UI1;
    held.parray = bytes;
    KW_EXPECT_HR(VariantCopy(&copy, &held), S_OK);
    KW_EXPECT(copy.vt == (VT_ARRAY | VT_UI1) && copy.parray != nullptr && copy.parray != bytes);
    KW_EXPECT_HR(SafeArrayGetLBound(copy.parray, 1, &bound), S_OK);
    KW_EXPECT(bound == 3);
    KW_EXPECT_HR(SafeArrayGetUBound(copy.parray, 1, &bound), S_OK);
    KW_EXPECT(bound == 7);
    KW_EXPECT_HR(SafeArrayAccessData(copy.parray, &data), S_OK);
    const bool same = std::memcmp(data, "\x00\xFFICC", 5) == 0;
    KW_EXPECT_HR(SafeArrayUnaccessData(copy.parray), S_OK);
    KW_EXPECT(same);
    KW_EXPECT_HR(VariantClear(&copy), S_OK);
    KW_EXPECT(copy.vt == VT_EMPTY);

    SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 0, 0);
    KW_EXPECT(empty != nullptr);
    const HRESULT emptyBound = SafeArrayGetUBound(empty, 1, &bound);
    KW_EXPECT_HR(SafeArrayDestroy(empty), S_OK);
    KW_EXPECT(emptyBound == S_OK && bound == -1);
    KW_EXPECT_HR(SafeArrayDestroy(nullptr), S_OK);
    return std::string();
}

} // namespace

std::string KwByteArrayFault()
{
    VARIANT held, copy;
    VariantInit(&held);
    VariantInit(&copy);
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 3, 5);
    const std::string fault = Probe(bytes, held, copy);
    // Whatever the probe left behind is freed, locks and all.
    VariantClear(&copy);
    if (held.vt != (VT_ARRAY | VT_UI1) && bytes) {
        while (bytes->cLocks) SafeArrayUnaccessData(bytes);
        SafeArrayDestroy(bytes);
    }
    if (held.vt == (VT_ARRAY | VT_UI1)) {
        while (held.parray->cLocks) SafeArrayUnaccessData(held.parray);
        VariantClear(&held);
    }
    return fault;
}

// BSTR layout and VARIANT ownership, as OLE Automation defines them.
#include "common/ByteArrayProbe.h"
#include "CountingDispatch.h"
#include "KwSystemUnderTest.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

uint32_t PrefixOf(BSTR s)
{
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<const unsigned char*>(s) - 4, 4);
    return prefix;
}

} // namespace

TEST(Bstr, LayoutIsByteLengthPrefixTextAndTerminator)
{
    BSTR s = SysAllocString(OLESTR("abc"));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(PrefixOf(s), 6u);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    EXPECT_EQ(s[3], 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(s) % 8, 0u) << "text stays aligned for any reader";
    SysFreeString(s);

    // Embedded NULs are part of the string; the length says where it ends.
    const OLECHAR withNul[] = {u'a', 0, u'b'};
    s = SysAllocStringLen(withNul, 3);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(s[2], u'b');
    EXPECT_EQ(s[3], 0);
    SysFreeString(s);
}

TEST(Bstr, AllocationWithoutSourceAndOddByteLengths)
{
    BSTR s = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(s[5], 0) << "terminator is written even when the text is left uninitialised";
    for (int i = 0; i < 5; ++i) s[i] = u'x';
    SysFreeString(s);

    s = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(s), 3u);
    EXPECT_EQ(SysStringLen(s), 1u);
    EXPECT_EQ(std::memcmp(s, "abc\0\0", 5), 0);
    SysFreeString(s);

    s = SysAllocStringLen(OLESTR(""), 0);
    ASSERT_NE(s, nullptr) << "an empty BSTR is not a null BSTR";
    EXPECT_EQ(SysStringLen(s), 0u);
    SysFreeString(s);
}

TEST(Bstr, NullReadsAsEmptyAndOversizeFailsCleanly)
{
    if (KwRunsUnderWine())
        GTEST_SKIP() << "Wine's SysAllocStringByteLen wraps its size for lengths near 4 GiB and writes past the "
                        "block it allocated, where Windows returns NULL for what it cannot allocate";
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFF8u), nullptr);
}

TEST(Bstr, ReAllocFromItsOwnText)
{
    BSTR s = SysAllocString(OLESTR("hello world"));
    ASSERT_TRUE(SysReAllocString(&s, s + 6)); // the source lies inside the old string
    EXPECT_EQ(std::basic_string<OLECHAR>(s), OLESTR("world"));
    EXPECT_EQ(SysStringLen(s), 5u);
    ASSERT_TRUE(SysReAllocString(&s, nullptr));
    EXPECT_EQ(s, nullptr);
    EXPECT_FALSE(SysReAllocString(nullptr, OLESTR("x")));
}

TEST(Variant, BstrCopiesAreDeepAndClearFreesThem)
{
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    EXPECT_EQ(src.vt, VT_EMPTY);
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocStringByteLen("abc", 3); // odd byte length must survive the copy
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(dst.vt, VT_BSTR);
    EXPECT_NE(dst.bstrVal, src.bstrVal);
    EXPECT_EQ(SysStringByteLen(dst.bstrVal), 3u);
    EXPECT_EQ(std::memcmp(dst.bstrVal, "abc", 3), 0);
    // Copying over a BSTR frees the old one (LeakSanitizer checks).
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(VariantClear(&dst), S_OK);
    EXPECT_EQ(dst.vt, VT_EMPTY);
    EXPECT_EQ(VariantClear(&src), S_OK);

    // A null BSTR copies, also onto itself.
    src.vt = VT_BSTR;
    src.bstrVal = nullptr;
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(VariantCopy(&dst, &dst), S_OK);
    VariantClear(&dst);
}

TEST(Variant, InterfacesAreAddRefedOnCopyAndReleasedOnClear)
{
    CountingDispatch a, b;
    VARIANT va, vb;
    VariantInit(&va);
    VariantInit(&vb);
    va.vt = VT_DISPATCH;
    va.pdispVal = &a; // owns a's initial reference
    vb.vt = VT_UNKNOWN;
    vb.punkVal = &b; // owns b's initial reference

    ASSERT_EQ(VariantCopy(&vb, &va), S_OK); // vb drops b, takes a
    EXPECT_EQ(a.refs, 2);
    EXPECT_TRUE(b.destroyed);
    EXPECT_EQ(vb.vt, VT_DISPATCH);
    EXPECT_EQ(vb.pdispVal, &a);

    EXPECT_EQ(VariantClear(&vb), S_OK);
    EXPECT_EQ(a.refs, 1);

    EXPECT_EQ(VariantClear(&va), S_OK);
    EXPECT_TRUE(a.destroyed);

    // Null interface pointers are legal and neither copied nor released.
    va.vt = VT_UNKNOWN;
    va.punkVal = nullptr;
    EXPECT_EQ(VariantCopy(&vb, &va), S_OK);
    EXPECT_EQ(VariantClear(&vb), S_OK);
    EXPECT_EQ(VariantClear(&va), S_OK);
}

TEST(Variant, ByRefIsShallowAndBadTypesAreRefused)
{
    if (KwRunsUnderWine())
        GTEST_SKIP() << "Wine's VariantCopy and VariantClear read through a null variant instead of answering "
                        "E_INVALIDARG";
    BSTR text = SysAllocString(OLESTR("kept"));
    VARIANT ref, dst;
    VariantInit(&ref);
    VariantInit(&dst);
    ref.vt = VT_BYREF | VT_BSTR;
    ref.pbstrVal = &text;
    ASSERT_EQ(VariantCopy(&dst, &ref), S_OK);
    EXPECT_EQ(dst.pbstrVal, &text);
    EXPECT_EQ(VariantClear(&dst), S_OK);
    EXPECT_EQ(VariantClear(&ref), S_OK);
    EXPECT_EQ(std::basic_string<OLECHAR>(text), OLESTR("kept")) << "a by-reference variant does not own its target";
    SysFreeString(text);

    // A failing copy leaves the destination as it was.
    dst.vt = VT_I4;
    dst.lVal = 42;
    std::vector<VARTYPE> bad = KwVarTypesOnlyWindowsTakes();
    bad.insert(bad.end(), {0x0FFF, VT_BYREF | VT_EMPTY});
    for (VARTYPE vt : bad) {
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        EXPECT_EQ(VariantCopy(&dst, &v), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(dst.vt, VT_I4);
        EXPECT_EQ(dst.lVal, 42);
    }
    EXPECT_EQ(VariantCopy(nullptr, &dst), E_INVALIDARG);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(Variant, PlainValuesCopyBitForBit)
{
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    src.vt = VT_R8;
    src.dblVal = 2.5;
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(dst.vt, VT_R8);
    EXPECT_EQ(dst.dblVal, 2.5);
    src.vt = VT_BOOL;
    src.boolVal = VARIANT_TRUE;
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(dst.boolVal, VARIANT_TRUE);
    src.vt = VT_I8;
    src.llVal = -1234567890123LL;
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(dst.llVal, -1234567890123LL);
}

TEST(TaskMemory, AllocatesEvenZeroBytes)
{
    void* p = CoTaskMemAlloc(0);
    EXPECT_NE(p, nullptr);
    CoTaskMemFree(p);
    CoTaskMemFree(nullptr);
}

TEST(SafeArray, ByteVectorIsBoundedLockedAndCopiedDeep)
{
    EXPECT_EQ(KwByteArrayFault(), "");
}

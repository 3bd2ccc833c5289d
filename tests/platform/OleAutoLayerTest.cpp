// What our OLE Automation functions hold where Windows leaves the result open
// or allows more: they are stricter, never looser.
#include "CountingDispatch.h"

TEST(OleAutoLayer, KeepsNullBstrsAndAliasedObjectsAndMakesOnlySmallByteArrays)
{
    // A null BSTR copies as a null BSTR (Windows may give an empty one).
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    src.vt = VT_BSTR;
    src.bstrVal = nullptr;
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(dst.bstrVal, nullptr);
    VariantClear(&dst);

    // Copying a borrowed view onto the variant that holds the only reference to
    // the same object must not free it on the way (Windows clears the
    // destination first).
    CountingDispatch a;
    VARIANT va;
    VariantInit(&va);
    va.vt = VT_DISPATCH;
    va.pdispVal = &a; // owns a's initial reference
    VARIANT borrowed = va;
    ASSERT_EQ(VariantCopy(&va, &borrowed), S_OK);
    EXPECT_FALSE(a.destroyed);
    EXPECT_EQ(a.refs, 1);
    EXPECT_EQ(VariantClear(&va), S_OK);
    EXPECT_TRUE(a.destroyed);

    // Past what a 32-bit size holds, and element types no array is made of here.
    EXPECT_EQ(SafeArrayCreateVector(VT_UI1, 0, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_BSTR, 0, 1), nullptr);
}

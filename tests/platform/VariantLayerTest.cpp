// What our VARIANT functions hold where Windows leaves the result open or
// allows more: they are stricter, never looser.
#include "CountingDispatch.h"

TEST(Variant, ThisLayerKeepsNullBstrsAndAliasedObjectsAndMakesNoArrays)
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

    // Arrays, and a variant inside a variant without VT_BYREF, are refused;
    // a failing copy leaves the destination as it was.
    dst.vt = VT_I4;
    dst.lVal = 42;
    for (VARTYPE vt : {VARTYPE(VT_ARRAY | VT_I4), VARTYPE(VT_VARIANT)}) {
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        EXPECT_EQ(VariantCopy(&dst, &v), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(dst.vt, VT_I4);
        EXPECT_EQ(dst.lVal, 42);
    }
}

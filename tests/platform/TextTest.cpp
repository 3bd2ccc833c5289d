// GUID text and code page conversion.
#include "KwPlatformTestSupport.h"

namespace {

std::u16string GuidText(REFGUID g)
{
    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(g, text, 39), 39);
    return text;
}

} // namespace

TEST(GuidText, SystemInterfaceIdsHaveTheirWindowsValues)
{
    const struct {
        const IID* iid;
        const char16_t* text;
    } known[] = {
        {&IID_IUnknown, u"{00000000-0000-0000-C000-000000000046}"},
        {&IID_IDispatch, u"{00020400-0000-0000-C000-000000000046}"},
        {&IID_ISequentialStream, u"{0C733A30-2A1C-11CE-ADE5-00AA0044773D}"},
        {&IID_IStream, u"{0000000C-0000-0000-C000-000000000046}"},
        {&IID_IClassFactory, u"{00000001-0000-0000-C000-000000000046}"},
        {&IID_ISupportErrorInfo, u"{DF0B3D60-548F-101B-8E65-08002B2BD119}"},
        {&IID_IConnectionPointContainer, u"{B196B284-BAB4-101A-B69C-00AA00341D07}"},
        {&IID_IEnumConnectionPoints, u"{B196B285-BAB4-101A-B69C-00AA00341D07}"},
        {&IID_IConnectionPoint, u"{B196B286-BAB4-101A-B69C-00AA00341D07}"},
        {&IID_IEnumConnections, u"{B196B287-BAB4-101A-B69C-00AA00341D07}"},
        {&IID_NULL, u"{00000000-0000-0000-0000-000000000000}"},
    };
    for (const auto& k : known) EXPECT_EQ(GuidText(*k.iid), k.text);
}

TEST(GuidText, RoundTripsInEitherCaseAndNeedsRoomForTheTerminator)
{
    const GUID g = {0x89ABCDEF, 0x0123, 0xFEDC, {0xBA, 0x98, 0x76, 0x54, 0x32, 0x10, 0x0F, 0xF0}};
    const std::u16string text = GuidText(g);
    EXPECT_EQ(text, u"{89ABCDEF-0123-FEDC-BA98-765432100FF0}");
    CLSID back;
    ASSERT_EQ(CLSIDFromString(text.c_str(), &back), S_OK);
    EXPECT_TRUE(IsEqualGUID(back, g));
    IID lower;
    ASSERT_EQ(IIDFromString(u"{89abcdef-0123-fedc-ba98-765432100ff0}", &lower), S_OK);
    EXPECT_TRUE(IsEqualGUID(lower, g));

    OLECHAR small[38];
    EXPECT_EQ(StringFromGUID2(g, small, 38), 0);
    EXPECT_EQ(StringFromGUID2(g, nullptr, 39), 0);
}

TEST(GuidText, MalformedTextIsRefused)
{
    const char16_t* bad[] = {
        u"89ABCDEF-0123-FEDC-BA98-765432100FF0",    // no braces (and no such ProgID)
        u"{89ABCDEF-0123-FEDC-BA98-765432100FF0",   // no closing brace
        u"{89ABCDEF-0123-FEDC-BA98-765432100FF0}x", // trailing text
        u"{89ABCDEF-0123-FEDC-BA98-765432100FG0}",  // not hex
        u"{89ABCDEF+0123-FEDC-BA98-765432100FF0}",  // wrong separator
        u"{89ABCDEF-0123-FEDC-BA98-765432100FF}",   // one digit short
        u"{89AB",                                   // cut short
        u"",
    };
    for (const char16_t* text : bad) {
        CLSID clsid = IID_IDispatch;
        EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING);
        EXPECT_TRUE(IsEqualGUID(clsid, CLSID_NULL));
        IID iid;
        EXPECT_EQ(IIDFromString(text, &iid), E_INVALIDARG);
    }
    CLSID clsid = IID_IDispatch;
    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), S_OK);
    EXPECT_TRUE(IsEqualGUID(clsid, CLSID_NULL));
    EXPECT_EQ(CLSIDFromString(u"{00000000-0000-0000-0000-000000000000}", nullptr), E_INVALIDARG);
}

// "é漢😀": two, three and four UTF-8 bytes; the last one is a surrogate pair in UTF-16.
static const char MixedUtf8[] = "\xC3\xA9\xE6\xBC\xA2\xF0\x9F\x98\x80";
static const char16_t MixedUtf16[] = u"\u00E9\u6F22\U0001F600";

TEST(CodePages, Utf8ToUtf16WithSurrogatePairs)
{
    for (UINT cp : {CP_ACP, CP_THREAD_ACP, CP_UTF8}) {
        EXPECT_EQ(MultiByteToWideChar(cp, 0, MixedUtf8, -1, nullptr, 0), 5) << "4 units and the terminator";
        EXPECT_EQ(MultiByteToWideChar(cp, 0, MixedUtf8, 9, nullptr, 0), 4) << "explicit length: no terminator";
        WCHAR out[8] = {};
        ASSERT_EQ(MultiByteToWideChar(cp, 0, MixedUtf8, -1, out, 8), 5);
        EXPECT_EQ(std::u16string(out), MixedUtf16);
        EXPECT_EQ(out[2], 0xD83D);
        EXPECT_EQ(out[3], 0xDE00);
    }
    // Embedded NULs in an explicit length are converted like any other character.
    WCHAR out[3];
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\0b", 3, out, 3), 3);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], u'b');
}

TEST(CodePages, Utf16ToUtf8RoundTrip)
{
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, MixedUtf16, -1, nullptr, 0, nullptr, nullptr), 10);
    char out[16] = {};
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, MixedUtf16, -1, out, 16, nullptr, nullptr), 10);
    EXPECT_STREQ(out, MixedUtf8);
    BOOL usedDefault = TRUE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, MixedUtf16, 4, out, 16, nullptr, &usedDefault), 9);
    EXPECT_FALSE(usedDefault);
}

TEST(CodePages, TooSmallBuffersFailWithoutOverrun)
{
    WCHAR wide[4] = {0x1111, 0x1111, 0x1111, 0x1111};
    SetLastError(0);
    // Three units fit, but the fourth (the low surrogate) and the terminator do not.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, MixedUtf8, -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(wide[3], 0x1111);

    char narrow[10];
    std::memset(narrow, 'x', sizeof narrow);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, MixedUtf16, -1, narrow, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(narrow[8], 'x');
    EXPECT_EQ(narrow[9], 'x');
}

TEST(CodePages, IllFormedUtf8BecomesReplacementOrFails)
{
    const struct {
        const char* bytes;
        int length;
        int replacements;
    } cases[] = {
        {"\xC3", 1, 1},                 // truncated two-byte sequence
        {"\xE6\xBC", 2, 1},             // truncated three-byte sequence: one maximal prefix
        {"\xC0\xAF", 2, 2},             // overlong: neither byte can start anything
        {"\xED\xA0\x80", 3, 3},         // an encoded surrogate
        {"\xF4\x90\x80\x80", 4, 4},     // above U+10FFFF
        {"\x80", 1, 1},                 // a lone continuation byte
        {"\xFF", 1, 1},
    };
    for (const auto& c : cases) {
        WCHAR out[8];
        const int n = MultiByteToWideChar(CP_UTF8, 0, c.bytes, c.length, out, 8);
        ASSERT_EQ(n, c.replacements) << c.bytes;
        for (int i = 0; i < n; ++i) EXPECT_EQ(out[i], 0xFFFD);
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.bytes, c.length, out, 8), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
    // Good text after a bad byte is kept.
    WCHAR out[4];
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC3z", 2, out, 4), 2);
    EXPECT_EQ(out[1], u'z');

    // A lone surrogate in UTF-16 becomes U+FFFD (EF BF BD).
    const WCHAR lone[] = {u'a', 0xD800, u'b'};
    char narrow[8];
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, 3, narrow, 8, nullptr, nullptr), 5);
    EXPECT_EQ(std::string(narrow, 5), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 3, narrow, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    // Except U+DC80..U+DCFF: a byte of a file name that is not UTF-8, as
    // GetModuleFileNameW gives it, goes back to that byte.
    const WCHAR escaped[] = {0xDCE9, 0xDC7F, u'b'};
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, escaped, 3, narrow, 8, nullptr, nullptr), 5);
    EXPECT_EQ(std::string(narrow, 5), "\xE9\xEF\xBF\xBD" "b");
}

TEST(CodePages, BadArgumentsAreRefused)
{
    WCHAR wide[4];
    char narrow[4];
    BOOL used;
    const int results[] = {
        MultiByteToWideChar(CP_UTF8, 0, "a", 0, wide, 4),
        MultiByteToWideChar(CP_UTF8, 0, nullptr, 1, wide, 4),
        MultiByteToWideChar(CP_UTF8, 0, "a", -2, wide, 4),
        MultiByteToWideChar(CP_UTF8, 0, "a", 1, nullptr, 4),
        MultiByteToWideChar(12345, 0, "a", 1, wide, 4),
        MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, wide, 4),
        WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 4, "?", nullptr),
        WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 4, nullptr, &used),
        WideCharToMultiByte(CP_UTF8, 0, u"a", 0, narrow, 4, nullptr, nullptr),
        WideCharToMultiByte(CP_UTF8, 0, u"a", 1, nullptr, 4, nullptr, nullptr),
    };
    for (size_t i = 0; i < sizeof results / sizeof results[0]; ++i) EXPECT_EQ(results[i], 0) << i;
    // The last error is the one of the last call; check each kind separately.
    SetLastError(0);
    MultiByteToWideChar(12345, 0, "a", 1, wide, 4);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, wide, 4);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

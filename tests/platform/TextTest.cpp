// GUID text and code page conversion.
#include <gtest/gtest.h>

#include "KwPlatform.h"
#include "KwSystemUnderTest.h"

#include <cstring>
#include <string>

namespace {

std::basic_string<OLECHAR> GuidText(REFGUID g)
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
        const OLECHAR* text;
    } known[] = {
        {&IID_IUnknown, OLESTR("{00000000-0000-0000-C000-000000000046}")},
        {&IID_IDispatch, OLESTR("{00020400-0000-0000-C000-000000000046}")},
        {&IID_ISequentialStream, OLESTR("{0C733A30-2A1C-11CE-ADE5-00AA0044773D}")},
        {&IID_IStream, OLESTR("{0000000C-0000-0000-C000-000000000046}")},
        {&IID_IClassFactory, OLESTR("{00000001-0000-0000-C000-000000000046}")},
        {&IID_ISupportErrorInfo, OLESTR("{DF0B3D60-548F-101B-8E65-08002B2BD119}")},
        {&IID_IConnectionPointContainer, OLESTR("{B196B284-BAB4-101A-B69C-00AA00341D07}")},
        {&IID_IEnumConnectionPoints, OLESTR("{B196B285-BAB4-101A-B69C-00AA00341D07}")},
        {&IID_IConnectionPoint, OLESTR("{B196B286-BAB4-101A-B69C-00AA00341D07}")},
        {&IID_IEnumConnections, OLESTR("{B196B287-BAB4-101A-B69C-00AA00341D07}")},
        {&IID_NULL, OLESTR("{00000000-0000-0000-0000-000000000000}")},
    };
    for (const auto& k : known) EXPECT_EQ(GuidText(*k.iid), k.text);
}

TEST(GuidText, RoundTripsInEitherCaseAndNeedsRoomForTheTerminator)
{
    const GUID g = {0x89ABCDEF, 0x0123, 0xFEDC, {0xBA, 0x98, 0x76, 0x54, 0x32, 0x10, 0x0F, 0xF0}};
    const std::basic_string<OLECHAR> text = GuidText(g);
    EXPECT_EQ(text, OLESTR("{89ABCDEF-0123-FEDC-BA98-765432100FF0}"));
    CLSID back;
    ASSERT_EQ(CLSIDFromString(text.c_str(), &back), S_OK);
    EXPECT_TRUE(IsEqualGUID(back, g));
    IID lower;
    ASSERT_EQ(IIDFromString(OLESTR("{89abcdef-0123-fedc-ba98-765432100ff0}"), &lower), S_OK);
    EXPECT_TRUE(IsEqualGUID(lower, g));

    OLECHAR small[38];
    EXPECT_EQ(StringFromGUID2(g, small, 38), 0);
}

TEST(GuidText, MalformedTextIsRefused)
{
    if (KwRunsUnderWine())
        GTEST_SKIP() << "Wine's IIDFromString answers CO_E_IIDSTRING for malformed text of the right length, outside "
                        "its documented E_INVALIDARG, and its StringFromGUID2 reports success for a null buffer";
    const OLECHAR* bad[] = {
        OLESTR("89ABCDEF-0123-FEDC-BA98-765432100FF0"),    // no braces (and no such ProgID)
        OLESTR("{89ABCDEF-0123-FEDC-BA98-765432100FF0"),   // no closing brace
        OLESTR("{89ABCDEF-0123-FEDC-BA98-765432100FF0}x"), // trailing text
        OLESTR("{89ABCDEF-0123-FEDC-BA98-765432100FG0}"),  // not hex
        OLESTR("{89ABCDEF+0123-FEDC-BA98-765432100FF0}"),  // wrong separator
        OLESTR("{89ABCDEF-0123-FEDC-BA98-765432100FF}"),   // one digit short
        OLESTR("{89AB"),                                   // cut short
        OLESTR(""),
    };
    for (const OLECHAR* text : bad) {
        CLSID clsid = IID_IDispatch;
        EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING);
        EXPECT_TRUE(IsEqualGUID(clsid, CLSID_NULL));
        IID iid;
        EXPECT_EQ(IIDFromString(text, &iid), E_INVALIDARG);
    }
    CLSID clsid = IID_IDispatch;
    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), S_OK);
    EXPECT_TRUE(IsEqualGUID(clsid, CLSID_NULL));
    EXPECT_EQ(CLSIDFromString(OLESTR("{00000000-0000-0000-0000-000000000000}"), nullptr), E_INVALIDARG);
    // A null buffer has no room for the text.
    const GUID g = IID_IDispatch;
    EXPECT_EQ(StringFromGUID2(g, nullptr, 39), 0);
}

// "é漢😀": two, three and four UTF-8 bytes; the last one is a surrogate pair in UTF-16.
static const char MixedUtf8[] = "\xC3\xA9\xE6\xBC\xA2\xF0\x9F\x98\x80";
static const WCHAR MixedUtf16[] = OLESTR("\u00E9\u6F22\U0001F600");

TEST(CodePages, Utf8ToUtf16WithSurrogatePairs)
{
    std::vector<UINT> pages = KwUtf8AnsiCodePages();
    pages.push_back(CP_UTF8);
    for (UINT cp : pages) {
        EXPECT_EQ(MultiByteToWideChar(cp, 0, MixedUtf8, -1, nullptr, 0), 5) << "4 units and the terminator";
        EXPECT_EQ(MultiByteToWideChar(cp, 0, MixedUtf8, 9, nullptr, 0), 4) << "explicit length: no terminator";
        WCHAR out[8] = {};
        ASSERT_EQ(MultiByteToWideChar(cp, 0, MixedUtf8, -1, out, 8), 5);
        EXPECT_EQ(std::basic_string<OLECHAR>(out), MixedUtf16);
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
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, MixedUtf16, -1, out, 16, nullptr, nullptr), 10);
    EXPECT_STREQ(out, MixedUtf8);
    for (UINT cp : KwUtf8AnsiCodePages()) {
        std::memset(out, 0, sizeof out);
        ASSERT_EQ(WideCharToMultiByte(cp, 0, MixedUtf16, -1, out, 16, nullptr, nullptr), 10);
        EXPECT_STREQ(out, MixedUtf8);
        // Unlike CP_UTF8, an ANSI code page reports whether it fell back to a default character.
        BOOL usedDefault = TRUE;
        EXPECT_EQ(WideCharToMultiByte(cp, 0, MixedUtf16, 4, out, 16, nullptr, &usedDefault), 9);
        EXPECT_FALSE(usedDefault);
    }
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
        {"\xED\xA0\x80", 3, 2},         // an encoded surrogate: the lead keeps its first continuation
        {"\xF4\x90\x80\x80", 4, 3},     // above U+10FFFF, likewise
        {"\xE0\x80\x80", 3, 2},         // overlong three-byte form, likewise
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
}

TEST(CodePages, BadArgumentsAreRefused)
{
    if (KwRunsUnderWine())
        GTEST_SKIP() << "Wine converts with flags other than MB_ERR_INVALID_CHARS and with a default character or "
                        "its flag given for CP_UTF8, and reads any negative length as -1";
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
        WideCharToMultiByte(CP_UTF8, 0, OLESTR("a"), 1, narrow, 4, "?", nullptr),
        WideCharToMultiByte(CP_UTF8, 0, OLESTR("a"), 1, narrow, 4, nullptr, &used),
        WideCharToMultiByte(CP_UTF8, 0, OLESTR("a"), 0, narrow, 4, nullptr, nullptr),
        WideCharToMultiByte(CP_UTF8, 0, OLESTR("a"), 1, nullptr, 4, nullptr, nullptr),
    };
    for (size_t i = 0; i < sizeof results / sizeof results[0]; ++i) EXPECT_EQ(results[i], 0) << i;
    // The last error is the one of the last call; check each kind separately.
    SetLastError(0);
    MultiByteToWideChar(12345, 0, "a", 1, wide, 4);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, wide, 4);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

// The system's interface identifiers and the text form of GUIDs.
#include "KwPlatform.h"

extern "C" {
KWPLATFORM_API const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
KWPLATFORM_API const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
KWPLATFORM_API const IID IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
KWPLATFORM_API const IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
KWPLATFORM_API const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
KWPLATFORM_API const IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
KWPLATFORM_API const IID IID_IConnectionPointContainer = {0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
KWPLATFORM_API const IID IID_IEnumConnectionPoints = {0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
KWPLATFORM_API const IID IID_IConnectionPoint = {0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
KWPLATFORM_API const IID IID_IEnumConnections = {0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
KWPLATFORM_API const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
}

namespace {

constexpr int GuidChars = 38; // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"

int HexValue(OLECHAR c)
{
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos]; false on anything else.
bool ReadHex(LPCOLESTR text, int pos, int digits, uint32_t& value)
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int v = HexValue(text[pos + i]);
        if (v < 0) return false;
        value = (value << 4) | static_cast<uint32_t>(v);
    }
    return true;
}

// The braced 38-character form only, exactly as StringFromGUID2 writes it
// (hex digits of either case). The text must end right after the brace.
bool ParseBracedGuid(LPCOLESTR text, GUID& out)
{
    for (int i = 0; i < GuidChars; ++i)
        if (text[i] == 0) return false;
    if (text[GuidChars] != 0) return false;
    if (text[0] != u'{' || text[9] != u'-' || text[14] != u'-' || text[19] != u'-' || text[24] != u'-' ||
        text[37] != u'}')
        return false;
    uint32_t v = 0;
    GUID g{};
    if (!ReadHex(text, 1, 8, v)) return false;
    g.Data1 = v;
    if (!ReadHex(text, 10, 4, v)) return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!ReadHex(text, 15, 4, v)) return false;
    g.Data3 = static_cast<uint16_t>(v);
    static const int BytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, BytePos[i], 2, v)) return false;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    out = g;
    return true;
}

} // namespace

KWPLATFORM_API int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    if (!lpsz || cchMax < GuidChars + 1) return 0;
    static const char Hex[] = "0123456789ABCDEF";
    char buf[GuidChars + 1];
    int n = 0;
    auto put = [&](uint32_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i) buf[n++] = Hex[(value >> (i * 4)) & 0xF];
    };
    buf[n++] = '{';
    put(rguid.Data1, 8);
    buf[n++] = '-';
    put(rguid.Data2, 4);
    buf[n++] = '-';
    put(rguid.Data3, 4);
    buf[n++] = '-';
    put(rguid.Data4[0], 2);
    put(rguid.Data4[1], 2);
    buf[n++] = '-';
    for (int i = 2; i < 8; ++i) put(rguid.Data4[i], 2);
    buf[n++] = '}';
    buf[n] = 0;
    for (int i = 0; i <= GuidChars; ++i) lpsz[i] = static_cast<OLECHAR>(buf[i]);
    return GuidChars + 1;
}

KWPLATFORM_API HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid)
{
    if (!pclsid) return E_INVALIDARG;
    if (!lpsz) {
        *pclsid = IID_NULL;
        return S_OK;
    }
    if (lpsz[0] == u'{') {
        if (ParseBracedGuid(lpsz, *pclsid)) return S_OK;
        *pclsid = IID_NULL;
        return CO_E_CLASSSTRING;
    }
    // As on Windows, text that is not a braced GUID is tried as a ProgID.
    if (lpsz[0] != 0 && SUCCEEDED(CLSIDFromProgID(lpsz, pclsid))) return S_OK;
    *pclsid = IID_NULL;
    return CO_E_CLASSSTRING;
}

KWPLATFORM_API HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid)
{
    if (!lpiid) return E_INVALIDARG;
    if (!lpsz) {
        *lpiid = IID_NULL;
        return S_OK;
    }
    if (ParseBracedGuid(lpsz, *lpiid)) return S_OK;
    return E_INVALIDARG;
}

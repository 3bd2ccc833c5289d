// The IKwSaveRasterData side of a raster-data class: the interface, the methods
// accepted and ignored (attributes, the second scanline form, clip regions) and
// error-information support. Its parameters, the class and its coclass's
// identifier, name what the base serves, as in every filter base; it uses neither.
#pragma once

#include "KwComObject.h"

template <typename T, const CLSID* Clsid>
class IKwSaveRasterDataImpl : public IKwSaveRasterData, public KwSupportErrorInfoImpl<IKwSaveRasterData> {
public:
    // The encoder settings are fixed; no attribute changes them.
    HRESULT STDMETHODCALLTYPE PutAttribute(BSTR, VARIANT) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AddScanline2(KW_RASTER_TYPE, LONG, LONG, LONG*, LONG, unsigned char*) noexcept override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE StartPolyClipRegion(LONG, LONG*, LONG, LONG*, LONG) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AppendPolyClipRegion(LONG, LONG*, LONG, LONG*, LONG) noexcept override { return S_OK; }

protected:
    IKwSaveRasterDataImpl() = default;
    ~IKwSaveRasterDataImpl() = default;
};

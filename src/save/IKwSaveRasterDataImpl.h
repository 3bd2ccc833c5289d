// The base of a raster-data class T: the COM object answering
// IKwSaveRasterData (the identity) and ISupportErrorInfo, and the methods
// accepted and ignored (attributes, the second scanline form, clip regions).
#pragma once

#include "com/KwComObject.h"

template <typename T> class IKwSaveRasterDataImpl : public KwComObject<T, IKwSaveRasterData, ISupportErrorInfo> {
public:
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) noexcept override
    {
        return KwSupportsErrorInfo<IKwSaveRasterData>(riid);
    }
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

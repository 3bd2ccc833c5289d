// A raster block that takes the rows and keeps nothing: it notes the storage,
// counts the rows and folds one byte of each into a checksum, so that the load
// benchmark measures the filter and not a host's copy of the image.
#pragma once

#include "BenchComBase.h"

class BenchRasterBlock final : public IKwRasterBlock {
public:
    static BenchRasterBlock* Create() { return new BenchRasterBlock(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch) ||
            IsEqualGUID(riid, IID_IKwRasterBlock)) {
            *ppv = static_cast<IKwRasterBlock*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    BENCH_IMPLEMENT_REFCOUNT
    BENCH_IMPLEMENT_NO_DISPATCH

    HRESULT STDMETHODCALLTYPE get_Attributes(IDispatch**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_AttributeCount(LONG* count) noexcept override
    {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ProtectAttributes(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ProtectAttributes(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttribute(BSTR, VARIANT*, VARIANT*) noexcept override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE PutAttribute(BSTR, VARIANT, LONG) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveAttribute(BSTR) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveAllAttributes() noexcept override { return S_OK; }

    HRESULT STDMETHODCALLTYPE get_BlockType(LONG* type) noexcept override
    {
        if (type) *type = KW_RASTER_BLOCK;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EndObject() noexcept override
    {
        m_Ended = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateRasterStorage(LONG width, LONG height, LONG bitsPerPixel, LONG, LONG, BSTR,
                                                  LONG, LONG*) noexcept override
    {
        m_Width = width;
        m_Height = height;
        m_BitsPerPixel = bitsPerPixel;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddScanline1(KW_RASTER_TYPE, LONG, LONG lines, LONG bytesPerLine,
                                           unsigned char* rows) noexcept override
    {
        if (lines <= 0 || !rows || bytesPerLine <= 0) return E_INVALIDARG;
        m_Checksum = m_Checksum * 31u + rows[0] + rows[bytesPerLine - 1];
        m_Rows += lines;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddScanline2(KW_RASTER_TYPE, LONG, LONG, LONG*, LONG, unsigned char*) noexcept override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetRasterInfo(LONG* width, LONG* height, LONG* bits, LONG* rows) noexcept override
    {
        if (width) *width = m_Width;
        if (height) *height = m_Height;
        if (bits) *bits = m_BitsPerPixel;
        if (rows) *rows = m_Rows;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetScanline(LONG, LONG, unsigned char*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetColorTable(LONG, LONG*, LONG* count) noexcept override
    {
        if (count) *count = 0;
        return S_OK;
    }

    LONG Rows() const { return m_Rows; }
    bool Ended() const { return m_Ended; }
    unsigned Checksum() const { return m_Checksum; }

private:
    BenchRasterBlock() = default;
    ~BenchRasterBlock() = default;

    LONG m_Width = 0;
    LONG m_Height = 0;
    LONG m_BitsPerPixel = 0;
    LONG m_Rows = 0;
    unsigned m_Checksum = 0;
    bool m_Ended = false;
};

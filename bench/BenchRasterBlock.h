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
        m_ended = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateRasterStorage(LONG width, LONG height, LONG bitsPerPixel, LONG, LONG, BSTR,
                                                  LONG, LONG*) noexcept override
    {
        m_width = width;
        m_height = height;
        m_bitsPerPixel = bitsPerPixel;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddScanline1(KW_RASTER_TYPE, LONG, LONG lines, LONG bytesPerLine,
                                           unsigned char* rows) noexcept override
    {
        if (lines <= 0 || !rows || bytesPerLine <= 0) return E_INVALIDARG;
        m_checksum = m_checksum * 31u + rows[0] + rows[bytesPerLine - 1];
        m_rows += lines;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddScanline2(KW_RASTER_TYPE, LONG, LONG, LONG*, LONG, unsigned char*) noexcept override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetRasterInfo(LONG* width, LONG* height, LONG* bits, LONG* rows) noexcept override
    {
        if (width) *width = m_width;
        if (height) *height = m_height;
        if (bits) *bits = m_bitsPerPixel;
        if (rows) *rows = m_rows;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetScanline(LONG, LONG, unsigned char*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetColorTable(LONG, LONG*, LONG* count) noexcept override
    {
        if (count) *count = 0;
        return S_OK;
    }

    LONG Rows() const { return m_rows; }
    bool Ended() const { return m_ended; }
    unsigned Checksum() const { return m_checksum; }

private:
    BenchRasterBlock() = default;
    ~BenchRasterBlock() = default;

    LONG m_width = 0;
    LONG m_height = 0;
    LONG m_bitsPerPixel = 0;
    LONG m_rows = 0;
    unsigned m_checksum = 0;
    bool m_ended = false;
};

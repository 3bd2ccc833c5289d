#include "KwHostSaveDriver.h"

#include <algorithm>

#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "KwHostDataObject.h"

LONG KwHostSaveDriver::DataTypeFor(LONG bitsPerPixel) noexcept
{
    switch (bitsPerPixel) {
    case 1: return KW_RASTER_RLC_32;
    case 4: return KW_RASTER_INDEX_4;
    case 8: return KW_RASTER_INDEX_8;
    case 32: return KW_RASTER_RGBA;
    default: return KW_RASTER_RGB;
    }
}

namespace {
template <typename Emit> void ForEachRun(const unsigned char* row, LONG width, Emit emit)
{
    LONG x = 0;
    while (x < width) {
        while (x < width && !(row[x / 8] & (0x80 >> (x % 8)))) ++x;
        if (x >= width) break;
        LONG start = x;
        while (x < width && (row[x / 8] & (0x80 >> (x % 8)))) ++x;
        emit(start, x);
    }
}
} // namespace

std::vector<LONG> KwHostSaveDriver::RunRecords(const unsigned char* row, LONG width)
{
    std::vector<LONG> records;
    ForEachRun(row, width, [&](LONG start, LONG end) {
        records.push_back(start);
        records.push_back(end);
    });
    records.push_back(-1);
    return records;
}

std::vector<unsigned short> KwHostSaveDriver::RunRecords16(const unsigned char* row, LONG width)
{
    std::vector<unsigned short> records;
    ForEachRun(row, width, [&](LONG start, LONG end) {
        records.push_back(static_cast<unsigned short>(start));
        records.push_back(static_cast<unsigned short>(end));
    });
    records.push_back(0xFFFF);
    return records;
}

HRESULT KwHostSaveDriver::Note(HRESULT hr, const char* step)
{
    if (FAILED(hr) && SUCCEEDED(m_First)) {
        m_First = hr;
        m_FailedStep = step;
    }
    return hr;
}

// One row; run-coded lines are built per row, their records little-endian as the host's memory is.
HRESULT KwHostSaveDriver::SendRow(IKwSaveRasterData* raster, const unsigned char* row, LONG y, LONG width,
                                  LONG dataType, LONG stride)
{
    HRESULT hr;
    if (dataType == KW_RASTER_RLC_32) {
        std::vector<LONG> records = RunRecords(row, width);
        hr = raster->AddScanline1(KW_RASTER_RLC_32, y, 1, static_cast<LONG>(records.size() * sizeof(LONG)),
                                  reinterpret_cast<unsigned char*>(records.data()));
    } else if (dataType == KW_RASTER_RLC_16) {
        std::vector<unsigned short> records = RunRecords16(row, width);
        hr = raster->AddScanline1(KW_RASTER_RLC_16, y, 1, static_cast<LONG>(records.size() * sizeof(unsigned short)),
                                  reinterpret_cast<unsigned char*>(records.data()));
    } else {
        hr = raster->AddScanline1(static_cast<KW_RASTER_TYPE>(dataType), y, 1, stride,
                                  const_cast<unsigned char*>(row));
    }
    return Note(hr, "AddScanline1");
}

HRESULT KwHostSaveDriver::SendRows(IKwSaveRasterData* raster, const KwHostImage& image, LONG dataType)
{
    if (image.Pixels.empty() && image.RowSource) return SendBands(raster, image, dataType);
    for (LONG y = 0; y < image.Height; ++y) {
        HRESULT hr = SendRow(raster, image.Row(y), y, image.Width, dataType, image.Stride());
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// Rows from the image's source, a band of about a megabyte at a time: one
// AddScanline1 per band, or per row for the run-coded types.
HRESULT KwHostSaveDriver::SendBands(IKwSaveRasterData* raster, const KwHostImage& image, LONG dataType)
{
    const size_t bandBytes = 1u << 20;
    const size_t stride = static_cast<size_t>(image.Stride());
    const size_t fit = bandBytes / stride;
    const LONG band = static_cast<LONG>(fit == 0 ? 1 : std::min<size_t>(fit, static_cast<size_t>(image.Height)));
    std::vector<unsigned char> rows(stride * static_cast<size_t>(band));
    const bool runCoded = dataType == KW_RASTER_RLC_32 || dataType == KW_RASTER_RLC_16;
    for (LONG first = 0; first < image.Height; first += band) {
        const LONG count = std::min(band, image.Height - first);
        HRESULT hr = image.RowSource(first, count, rows.data());
        if (FAILED(Note(hr, "reading the image"))) return hr;
        if (runCoded) {
            for (LONG y = 0; y < count; ++y) {
                hr = SendRow(raster, rows.data() + static_cast<size_t>(y) * stride, first + y, image.Width, dataType,
                             static_cast<LONG>(stride));
                if (FAILED(hr)) return hr;
            }
            continue;
        }
        hr = raster->AddScanline1(static_cast<KW_RASTER_TYPE>(dataType), first, count, static_cast<LONG>(stride),
                                  rows.data());
        if (FAILED(Note(hr, "AddScanline1"))) return hr;
    }
    return S_OK;
}

HRESULT KwHostSaveDriver::Walk(IKwFilterSave* filter, IStream* output, const KwHostImage& image,
                               const KwHostSaveOptions& options)
{
    if (!filter || !output) return Note(E_POINTER, "arguments");
    if (image.Width <= 0 || image.Height <= 0 ||
        (image.Pixels.size() < static_cast<size_t>(image.Stride()) * static_cast<size_t>(image.Height) &&
         !(image.Pixels.empty() && image.RowSource)))
        return Note(E_INVALIDARG, "image");

    KwComPtr<KwHostDataObject> data;
    HRESULT hr = KwHostDataObject::Create(output, options.StorageName, data.Receive(), m_Context);
    if (FAILED(Note(hr, "data object"))) return hr;

    KwComPtr<IUnknown> documentObject;
    hr = filter->CreateDocument(data.Get(), nullptr, documentObject.Receive());
    if (SUCCEEDED(Note(hr, "CreateDocument")) && !documentObject) hr = Note(E_POINTER, "CreateDocument");

    // Structures, outermost first; ended innermost first.
    std::vector<KwComPtr<IKwSaveStructure>> structures;
    if (SUCCEEDED(hr)) {
        KwComPtr<IKwSaveStructure> root;
        hr = Note(KwQuery(documentObject.Get(), root.Receive()), "IKwSaveStructure");
        if (SUCCEEDED(hr)) structures.push_back(root);
    }
    for (size_t i = 0; SUCCEEDED(hr) && i < options.Levels.size(); ++i) {
        KwVariant index;
        index.SetI4(static_cast<LONG>(i));
        KwComPtr<IUnknown> levelObject;
        hr = Note(structures.back()->CreateObject(static_cast<KW_OBJECT_TYPE>(options.Levels[i]), index, nullptr,
                                                  levelObject.Receive()),
                  "CreateObject");
        KwComPtr<IKwSaveStructure> level;
        if (SUCCEEDED(hr)) hr = Note(KwQuery(levelObject.Get(), level.Receive()), "IKwSaveStructure");
        if (SUCCEEDED(hr)) structures.push_back(level);
    }

    if (SUCCEEDED(hr)) {
        KwVariant index;
        index.SetI4(0);
        KwComPtr<IUnknown> rasterObject;
        hr = Note(structures.back()->CreateObject(KW_RASTER_BLOCK, index, nullptr, rasterObject.Receive()),
                  "CreateObject");
        KwComPtr<IKwSaveRasterData> raster;
        if (SUCCEEDED(hr)) hr = Note(KwQuery(rasterObject.Get(), raster.Receive()), "IKwSaveRasterData");
        if (SUCCEEDED(hr)) {
            KwBstr compression = KwBstr::FromNarrow(options.Compression.c_str(), CP_UTF8);
            std::vector<LONG> palette = image.Palette;
            hr = Note(raster->CreateRasterStorage(image.Width, image.Height, image.BitsPerPixel, image.DpiX,
                                                  image.DpiY, compression.Get(), static_cast<LONG>(palette.size()),
                                                  palette.empty() ? nullptr : palette.data()),
                      "CreateRasterStorage");
        }
        if (SUCCEEDED(hr))
            hr = SendRows(raster.Get(), image,
                          options.DataType >= 0 ? options.DataType : DataTypeFor(image.BitsPerPixel));
        if (SUCCEEDED(hr)) hr = Note(raster->EndObject(), "EndObject");
    }

    for (size_t i = structures.size(); i-- > 0;) Note(structures[i]->EndObject(), "EndObject");
    structures.clear();
    documentObject.Reset();
    if (options.CloseDocument) Note(filter->CloseDocument(), "CloseDocument");
    return m_First;
}

HRESULT KwHostSaveDriver::Save(IKwFilterSave* filter, IStream* output, const KwHostImage& image,
                               const KwHostSaveOptions& options) noexcept
{
    m_First = S_OK;
    m_FailedStep.clear();
    try {
        return Walk(filter, output, image, options);
    } catch (...) {
        return Note(E_OUTOFMEMORY, "allocation");
    }
}

HRESULT KwHostSaveDriver::Save(REFCLSID filterClass, IStream* output, const KwHostImage& image,
                               const KwHostSaveOptions& options) noexcept
{
    m_First = S_OK;
    m_FailedStep.clear();
    KwComPtr<IKwFilterSave> filter;
    HRESULT hr = CoCreateInstance(filterClass, nullptr, CLSCTX_INPROC_SERVER, KwUuidOf<IKwFilterSave>(),
                                  reinterpret_cast<void**>(filter.Receive()));
    if (FAILED(hr)) return Note(hr, "CoCreateInstance");
    return Save(filter.Get(), output, image, options);
}

HRESULT KwHostSaveDriver::Save(const char* progId, IStream* output, const KwHostImage& image,
                               const KwHostSaveOptions& options) noexcept
{
    m_First = S_OK;
    m_FailedStep.clear();
    KwBstr name = KwBstr::FromNarrow(progId, CP_UTF8);
    if (!name.Ok()) return Note(E_INVALIDARG, "CLSIDFromProgID");
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(name.Get(), &clsid);
    if (FAILED(hr)) return Note(hr, "CLSIDFromProgID");
    return Save(clsid, output, image, options);
}

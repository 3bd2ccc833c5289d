// Walks an image through a save filter as a host does: a data object bound to
// the output stream, CreateDocument, optional nested structure levels, one
// raster block, storage, one AddScanline1 per row (per band of rows when the
// image reads its rows from a source), EndObject on the raster data
// and the structures, CloseDocument.
#pragma once

#include <string>
#include <vector>

#include "interfaces/KwFilterInterfaces.h"
#include "KwHostContext.h"
#include "KwHostImage.h"

struct KwHostSaveOptions {
    // Structure levels created before the raster block (KW_DOCUMENT, KW_CONTENTS, KW_CONTAINER).
    std::vector<LONG> Levels;
    // The AddScanline1 data type; -1 chooses by bits per pixel: 24 KW_RASTER_RGB, 32 KW_RASTER_RGBA,
    // 8 KW_RASTER_INDEX_8, 4 KW_RASTER_INDEX_4, 16 KW_RASTER_RGB (rows as they are), and 1
    // KW_RASTER_RLC_32 (runs of set bits, which reproduce the row exactly in the filter's storage).
    LONG DataType = -1;
    std::string Compression = "JPEG";
    std::string StorageName = "output.jpg";
    bool CloseDocument = true;
};

class KwHostSaveDriver {
public:
    explicit KwHostSaveDriver(std::shared_ptr<KwHostContext> context = nullptr) : m_Context(std::move(context)) {}

    // The first failure of the walk, or S_OK. After a failure the remaining rows are not
    // sent, but the structures are still ended and the document closed.
    HRESULT Save(IKwFilterSave* filter, IStream* output, const KwHostImage& image,
                 const KwHostSaveOptions& options = KwHostSaveOptions()) noexcept;
    // Creates the save filter first (CoCreateInstance, in-process).
    HRESULT Save(REFCLSID filterClass, IStream* output, const KwHostImage& image,
                 const KwHostSaveOptions& options = KwHostSaveOptions()) noexcept;
    HRESULT Save(const char* progId, IStream* output, const KwHostImage& image,
                 const KwHostSaveOptions& options = KwHostSaveOptions()) noexcept;

    // The step that failed first ("CreateDocument", "AddScanline1", ...), empty after success.
    const std::string& FailedStep() const noexcept { return m_FailedStep; }

    static LONG DataTypeFor(LONG bitsPerPixel) noexcept;
    // A 1-bit row as KW_RASTER_RLC_32 records: (start, end) pairs of the runs of set bits, then -1.
    static std::vector<LONG> RunRecords(const unsigned char* row, LONG width);
    // The same as KW_RASTER_RLC_16 records, 16-bit values, terminated by 0xFFFF.
    static std::vector<unsigned short> RunRecords16(const unsigned char* row, LONG width);

private:
    HRESULT Walk(IKwFilterSave* filter, IStream* output, const KwHostImage& image, const KwHostSaveOptions& options);
    HRESULT Note(HRESULT hr, const char* step);
    HRESULT SendRows(IKwSaveRasterData* raster, const KwHostImage& image, LONG dataType);
    HRESULT SendBands(IKwSaveRasterData* raster, const KwHostImage& image, LONG dataType);
    HRESULT SendRow(IKwSaveRasterData* raster, const unsigned char* row, LONG y, LONG width, LONG dataType,
                    LONG stride);

    std::shared_ptr<KwHostContext> m_Context;
    std::string m_FailedStep;
    HRESULT m_First = S_OK;
};

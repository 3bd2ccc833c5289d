// What one thread of kwjpeg works with: a host engine, the filters found in the
// catalogue (or taken from a library named on the command line), and the two
// jobs of the tool: load a JPEG through the load filter, save an image through
// the save filter.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "KwFilterCatalog.h"
#include "engine/KwHostAttributeReport.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostImage.h"
#include "engine/KwHostRowSink.h"
#include "engine/KwHostStream.h"
#include "KwRasterImage.h"

struct KwLoadOutcome {
    HRESULT Result = E_FAIL;    // the first failure of OpenDocument / GetNode, or S_OK
    std::string FailedStep;     // "open file", "OpenDocument", "GetNode", ...
    std::string Message;        // why, whenever the load failed: a failure before the filter was
                                // reached, what the tool can tell of a file the filter refused (its
                                // kind, the pixel limit, its end before the image data), else the
                                // step that failed and its result
    std::vector<KwHostReportedAttribute> Document, Contents, Node;
    bool HasRaster = false;
    LONG Width = 0, Height = 0, BitsPerPixel = 0, RowsDelivered = 0;
    // From node 1: the EXIF orientation (0: none), the resolution in dots per
    // inch (0: none), and the codec's word on damaged data ("": none).
    int Orientation = 0;
    double DpiX = 0, DpiY = 0;
    std::string Damage;
    // The colour profile the filter published ("ICCProfile"), and when the
    // pixels were asked for, the file's EXIF block; empty when none.
    std::vector<uint8_t> IccProfile;
    std::vector<uint8_t> Exif;
    KwRasterImage Image;        // the pixels as delivered (when asked for)
};

class KwToolSession {
public:
    // libraryPath: create the filters straight from that library instead of the catalogue.
    explicit KwToolSession(std::string libraryPath = std::string());
    ~KwToolSession();

    // Starts the host engine (the attribute class). False with a message on failure.
    bool Start(std::string& error);

    // Progress of the current file, 0..100, from the filter's Progress events.
    void SetProgressCallback(std::function<void(int percent)> callback) { m_Progress = std::move(callback); }
    // Largest raster storage the host accepts, in pixels (0: the engine's default).
    void SetPixelLimit(unsigned long long pixels) { m_PixelLimit = pixels; }
    unsigned long long PixelLimit() const { return m_PixelLimit ? m_PixelLimit : KwRasterImage::DefaultMaxPixels; }

    // Loads `path` through the load filter found for it: by the file's extension,
    // or when that tells nothing, by its content. "-" is standard input; it and
    // pipes are read whole into memory first (see KwPipeInput).
    // keepPixels: the outcome's image reads the host raster block's rows (kept alive by the outcome).
    // rowSink: the raster block streams its rows there instead of keeping them.
    KwLoadOutcome Load(const std::string& path, bool keepPixels,
                       std::shared_ptr<KwHostRowSink> rowSink = std::shared_ptr<KwHostRowSink>());
    // How convert reads `path`: "jpg", "bmp", "ppm", "pgm" or "png" by its
    // extension, else by its content (standard input, a pipe, any other name);
    // "" with the reason, naming what was given, when it is none of these.
    std::string InputFormat(const std::string& path, std::string& problem);
    // Standard input or the pipe at `path` as InputFormat left it after looking
    // into it, handed over to be read and closed (null when it did not).
    std::FILE* TakePipe(const std::string& path);
    // Saves the image as a JPEG file at `path` through the save filter, with the
    // image's resolution in its JFIF header when it has one, and its EXIF block
    // and colour profile after that header; a failure leaves no file.
    // The image is taken over (its pixels move into the save layout).
    HRESULT Save(KwRasterImage&& image, const std::string& path, std::string& message);
    // The same for an image in the host's layout, which may read its rows from a source.
    HRESULT Save(const KwHostImage& image, const std::string& path, std::string& message,
                 const std::vector<uint8_t>& exif = std::vector<uint8_t>(),
                 const std::vector<uint8_t>& profile = std::vector<uint8_t>());

    // Why no filter could be had, for messages ("no load filter is registered for .jpg files", ...).
    static std::string HresultText(HRESULT hr);

private:
    HRESULT CreateFilter(const std::string& path, bool save, REFIID riid, void** out, std::string& message,
                         const unsigned char* head = nullptr, size_t headSize = 0);
    HRESULT OpenInput(const std::string& path, KwComPtr<KwHostStream>& stream, std::string& message);
    bool MakeEngine(std::string& error);
    std::string WhyRefused(IStream* stream, HRESULT hr) const;

    std::string m_LibraryPath;
    std::unique_ptr<KwHostEngine> m_Engine;
    std::vector<KwCatalogEntry> m_Catalog;
    bool m_CatalogRead = false;
    std::function<void(int)> m_Progress;
    unsigned long long m_PixelLimit = 0;
    // The last pipe or standard input read, kept for a second look at the same input.
    std::string m_PipePath;
    KwComPtr<KwHostStream> m_PipeStream;
    // A pipe or standard input looked into by InputFormat and not yet read.
    std::string m_PeekedPath;
    std::FILE* m_Peeked = nullptr;
};

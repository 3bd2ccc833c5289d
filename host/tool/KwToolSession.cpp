#include "KwToolSession.h"

#include <cstdio>
#include <cstring>

#include "JpegFrameHeader.h"
#include "engine/KwHostDocument.h"
#include "engine/KwHostEventSink.h"
#include "engine/KwHostFileStream.h"
#include "engine/KwHostImage.h"
#include "engine/KwHostLoad.h"
#include "engine/KwHostMemoryStream.h"
#include "engine/KwHostNode.h"
#include "engine/KwHostRasterBlock.h"
#include "engine/KwHostSaveDriver.h"
#include "KwExifBlock.h"
#include "KwImageFiles.h"
#include "KwJfifResolution.h"
#include "KwJpegMetadataWriter.h"
#include "KwPaths.h"
#include "KwPipeInput.h"

namespace {

std::string ExtensionOf(const std::string& path)
{
    const std::string extension = KwPaths::Extension(path);
    return extension.empty() ? extension : "." + extension;
}

// Why no filter (load) or no reader of convert takes `path`, saying what was
// given (standard input, a name without an extension, or an unknown
// extension) after the name the message starts with.
std::string NotRecognised(const std::string& path, bool load)
{
    const std::string extension = ExtensionOf(path);
    const std::string known = "a JPEG, PNG, BMP, PPM or PGM file";
    if (KwPipeInput::IsStandardStream(path))
        return load ? "no registered filter recognises its content" : "its content is not " + known;
    if (extension.empty())
        return "it has no extension, and " +
               (load ? "no registered filter recognises its content" : "its content is not " + known);
    return load ? "no registered filter opens " + extension + " files or recognises its content"
                : "convert reads no " + extension + " files, and its content is not " + known;
}

// The first bytes of the stream, which is left at its start for the filter.
size_t ReadHead(IStream* stream, unsigned char* head, ULONG size)
{
    ULONG got = 0;
    LARGE_INTEGER start = {};
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) || FAILED(stream->Read(head, size, &got))) got = 0;
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    return got;
}

// What the tool uses of node 1 beyond the report: orientation, resolution, damage.
void ReadNodeFacts(KwLoadOutcome& outcome)
{
    LONGLONG orientation = 0;
    if (const KwHostReportedAttribute* a = KwHostAttributeReport::Find(outcome.Node, "Orientation"))
        if (KwHostVariant::AsInteger(a->Value.Get(), &orientation) && orientation >= 1 && orientation <= 8)
            outcome.Orientation = int(orientation);
    if (const KwHostReportedAttribute* a = KwHostAttributeReport::Find(outcome.Node, "LpiX"))
        if (a->Value.Type() == VT_R8) outcome.DpiX = a->Value.Get().dblVal;
    if (const KwHostReportedAttribute* a = KwHostAttributeReport::Find(outcome.Node, "LpiY"))
        if (a->Value.Type() == VT_R8) outcome.DpiY = a->Value.Get().dblVal;
    if (const KwHostReportedAttribute* a = KwHostAttributeReport::Find(outcome.Node, "Damage"))
        if (a->Value.Type() == VT_BSTR) outcome.Damage = KwHostVariant::Narrow(a->Value.Get().bstrVal);
    if (const KwHostReportedAttribute* a = KwHostAttributeReport::Find(outcome.Node, "ICCProfile"))
        KwHostVariant::Bytes(a->Value.Get(), &outcome.IccProfile);
}

} // namespace

KwToolSession::KwToolSession(std::string libraryPath) : m_LibraryPath(std::move(libraryPath)) {}

KwToolSession::~KwToolSession()
{
    KwPipeInput::Close(m_Peeked);
    if (m_Engine) m_Engine->Stop();
}

bool KwToolSession::MakeEngine(std::string& error)
{
    try {
        m_Engine.reset(new KwHostEngine());
    } catch (...) {
        error = "out of memory";
        return false;
    }
    if (m_PixelLimit) m_Engine->SetMaxRasterPixels(m_PixelLimit);
    return true;
}

bool KwToolSession::Start(std::string& error)
{
    if (!MakeEngine(error)) return false;
    HRESULT hr = m_Engine->Start();
    if (FAILED(hr)) {
        // It registers its attribute class in the registry.
        error = "cannot start the host engine: " + HresultText(hr) + " (registry " + KwRegistryPath() + ")";
        return false;
    }
    return true;
}

// What the tool can tell of a file the filter refused: not a JPEG at all, a
// kind of JPEG the codec does not decode, a size above the host's pixel
// limit, or an end before the image data.
std::string KwToolSession::WhyRefused(IStream* stream, HRESULT hr) const
{
    JpegFrameHeader frame;
    const bool framed = JpegFrameHeader::Read(stream, frame);
    if (!frame.Jpeg) {
        unsigned char head[2];
        const std::string format = KwImageFiles::FormatOfContent(head, ReadHead(stream, head, sizeof head));
        return format.empty() ? "the file is not a JPEG file (it does not start with the bytes FF D8)"
                              : "the file is " + KwImageFiles::Described(format) + ", not a JPEG";
    }
    if (framed) {
        const std::string kind = frame.UnusualKind();
        if (!kind.empty()) return "the file is " + kind + ", which the codec cannot decode";
        std::string overLimit;
        if (hr == E_OUTOFMEMORY && m_PixelLimit &&
            !KwRasterImage::WithinPixelLimit(frame.Width, frame.Height, m_PixelLimit, overLimit))
            return overLimit;
        // Past the pixel limit's check, a shortage of memory is the decoder's.
        if (hr == E_OUTOFMEMORY)
            return "decoding the image of " + std::to_string(frame.Width) + " x " + std::to_string(frame.Height) +
                   " pixels needs more memory than the decoder could have";
    }
    if (frame.EndsBeforeScan) return "the file ends before its image data (it is cut short)";
    return std::string();
}

std::string KwToolSession::HresultText(HRESULT hr)
{
    struct Name {
        HRESULT Result;
        const char* Name;
    };
    static const Name names[] = {
        {S_OK, "S_OK"},
        {S_FALSE, "S_FALSE"},
        {E_FAIL, "E_FAIL"},
        {E_POINTER, "E_POINTER"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {E_ABORT, "E_ABORT"},
        {E_NOTIMPL, "E_NOTIMPL"},
        {E_NOINTERFACE, "E_NOINTERFACE"},
        {E_UNEXPECTED, "E_UNEXPECTED"},
        {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
        {CO_E_CLASSSTRING, "CO_E_CLASSSTRING"},
        {CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND"},
        {CO_E_ERRORINDLL, "CO_E_ERRORINDLL"},
        {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
        {STG_E_FILENOTFOUND, "STG_E_FILENOTFOUND"},
        {STG_E_PATHNOTFOUND, "STG_E_PATHNOTFOUND"},
        {STG_E_ACCESSDENIED, "STG_E_ACCESSDENIED"},
        {STG_E_READFAULT, "STG_E_READFAULT"},
    };
    char text[48];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    for (const Name& n : names)
        if (n.Result == hr) return std::string(text) + " (" + n.Name + ")";
    return text;
}

// A filter for `path`: straight from the library named on the command line, or
// found in the catalogue (the load filter by the file's extension, else by its
// first bytes `head`; the save filter by its save extension) and created by ProgID.
HRESULT KwToolSession::CreateFilter(const std::string& path, bool save, REFIID riid, void** out, std::string& message,
                                    const unsigned char* head, size_t headSize)
{
    const char* role = save ? "save" : "load";
    if (!m_LibraryPath.empty()) {
        HRESULT hr = KwFilterCatalog::CreateFromLibrary(m_LibraryPath, save ? CLSID_KwFilterSaveJPEG : CLSID_KwFilterJPEG,
                                                        riid, out, &message);
        if (FAILED(hr)) message = m_LibraryPath + ": " + message;
        return hr;
    }
    if (!m_CatalogRead) {
        m_Catalog = KwFilterCatalog::Read();
        m_CatalogRead = true;
    }
    const KwCatalogEntry* entry = save ? KwFilterCatalog::FindSaveFilter(m_Catalog, path)
                                       : KwFilterCatalog::FindLoadFilter(m_Catalog, path);
    if (!entry && !save) entry = KwFilterCatalog::FindLoadFilterByContent(m_Catalog, head, headSize);
    if (!entry) {
        if (m_Catalog.empty())
            message = "no filter is registered (registry " + std::string(KwRegistryPath()) +
                      "); run `kwjpeg register` first";
        else if (save)
            message = "no registered filter saves " + ExtensionOf(path) + " files (see `kwjpeg filters`)";
        else if (!KwImageFiles::FormatOfContent(head, headSize).empty())
            message = "the file is " + KwImageFiles::Described(KwImageFiles::FormatOfContent(head, headSize)) +
                      ", not a JPEG: no registered filter opens it (convert reads it)";
        else
            message = NotRecognised(path, true) + " (see `kwjpeg filters`)";
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT hr = KwFilterCatalog::Create(entry->ProgId, riid, out);
    if (FAILED(hr))
        message = std::string("cannot create the ") + role + " filter " + entry->ProgId + ": " + HresultText(hr) +
                  " (is it registered? run `kwjpeg register`)";
    return hr;
}

// The stream to load `path` from: the file, or the bytes of standard input or
// a pipe read whole into memory (kept for a second look at the same input).
HRESULT KwToolSession::OpenInput(const std::string& path, KwComPtr<KwHostStream>& stream, std::string& message)
{
    if (KwPaths::IsFolder(path)) {
        message = "it is a folder, not a file (convert --to FORMAT -o OUTDIR takes folders)";
        return STG_E_ACCESSDENIED;
    }
    if (KwPipeInput::IsStandardStream(path) || KwPipeInput::IsPipe(path)) {
        if (!m_PipeStream || m_PipePath != path) {
            m_PipeStream.Reset();
            std::vector<unsigned char> bytes;
            const uint64_t limit = KwPipeInput::LimitFor(m_Engine->MaxRasterPixels());
            bool read;
            if (std::FILE* peeked = TakePipe(path)) {
                read = KwPipeInput::ReadStream(peeked, limit, bytes, message);
                KwPipeInput::Close(peeked);
            } else {
                read = KwPipeInput::Read(path, limit, bytes, message);
            }
            if (!read) return STG_E_READFAULT;
            KwComPtr<KwHostMemoryStream> memory;
            HRESULT hr = m_Engine->CreateMemoryStream(nullptr, 0, memory.Receive());
            if (FAILED(hr)) {
                message = "cannot make a memory stream: " + HresultText(hr);
                return hr;
            }
            memory->MutableBytes().swap(bytes);
            m_PipeStream = KwComPtr<KwHostStream>(memory.Get());
            m_PipePath = path;
        }
        LARGE_INTEGER start = {};
        m_PipeStream->Seek(start, STREAM_SEEK_SET, nullptr);
        stream = m_PipeStream;
        return S_OK;
    }
    KwComPtr<KwHostFileStream> file;
    HRESULT hr = m_Engine->OpenFileStream(path, KwHostFileMode::Read, file.Receive());
    if (FAILED(hr)) {
        message = hr == STG_E_FILENOTFOUND
                      ? "no such file (check the path)"
                      : "cannot open the file for reading (" + HresultText(hr) + "; check its permissions)";
        return hr;
    }
    stream = KwComPtr<KwHostStream>(file.Get());
    return S_OK;
}

std::string KwToolSession::InputFormat(const std::string& path, std::string& problem)
{
    std::string format = KwImageFiles::FormatOf(path);
    if (!format.empty()) return format;
    if (KwPipeInput::IsStandardStream(path) || (KwPipeInput::IsPipe(path) && !KwPaths::IsFolder(path))) {
        // A pipe is looked into by one byte, left to be read again from the
        // same stream: it cannot be opened a second time.
        if (m_PeekedPath != path) {
            KwPipeInput::Close(TakePipe(m_PeekedPath));
            if (!(m_Peeked = KwPipeInput::Open(path, problem))) return std::string();
            m_PeekedPath = path;
        }
        const int first = KwPipeInput::Peek(m_Peeked);
        if (first == EOF) {
            problem = std::ferror(m_Peeked) ? "cannot read it" : "it is empty";
            return std::string();
        }
        const unsigned char head = static_cast<unsigned char>(first);
        format = KwImageFiles::FormatOfContent(&head, 1);
    } else {
        KwComPtr<KwHostStream> stream;
        if (FAILED(OpenInput(path, stream, problem))) return std::string();
        unsigned char head[2];
        format = KwImageFiles::FormatOfContent(head, ReadHead(stream.Get(), head, sizeof head));
    }
    if (!format.empty()) return format;
    problem = NotRecognised(path, false);
    if (!KwPipeInput::IsStandardStream(path))
        problem += " (convert reads .jpg, .bmp, .ppm, .pgm and .png files, and these under any name)";
    return std::string();
}

std::FILE* KwToolSession::TakePipe(const std::string& path)
{
    if (!m_Peeked || m_PeekedPath != path) return nullptr;
    std::FILE* peeked = m_Peeked;
    m_Peeked = nullptr;
    m_PeekedPath.clear();
    return peeked;
}

KwLoadOutcome KwToolSession::Load(const std::string& path, bool keepPixels, std::shared_ptr<KwHostRowSink> rowSink)
{
    KwLoadOutcome outcome;
    KwComPtr<KwHostStream> stream;
    HRESULT hr = OpenInput(path, stream, outcome.Message);
    if (FAILED(hr)) {
        outcome.Result = hr;
        outcome.FailedStep = "open file";
        return outcome;
    }
    unsigned char head[2];
    const size_t headSize = ReadHead(stream.Get(), head, sizeof head);
    KwComPtr<IKwFilter> filter;
    hr = CreateFilter(path, false, IID_IKwFilter, reinterpret_cast<void**>(filter.Receive()), outcome.Message, head,
                      headSize);
    if (FAILED(hr)) {
        outcome.Result = hr;
        outcome.FailedStep = "find filter";
        return outcome;
    }

    KwComPtr<KwHostEventSink> sink;
    if (m_Progress && SUCCEEDED(KwHostEventSink::Create(sink.Receive(), m_Engine->Context()))) {
        auto progress = m_Progress;
        sink->SetCallback([progress](LONG value, VARIANT_BOOL*) { progress(int(value)); });
        sink->Connect(filter.Get());
    }

    KwHostLoadOptions options;
    // Standard input has no name: the filter takes a nameless stream for a JPEG.
    options.Name = KwPipeInput::IsStandardStream(path) ? std::string() : KwPaths::Name(path);
    KwHostLoadResult result;
    m_Engine->SetRowSink(std::move(rowSink));
    hr = KwHostLoad(*m_Engine, filter.Get(), static_cast<IStream*>(stream.Get()), options, &result);
    m_Engine->SetRowSink(nullptr);
    if (sink) sink->Disconnect(filter.Get());
    outcome.Result = hr;
    if (FAILED(result.OpenResult))
        outcome.FailedStep = "OpenDocument";
    else if (FAILED(result.NodeResult))
        outcome.FailedStep = "GetNode";

    if (result.Document)
        KwHostAttributeReport::Read(static_cast<IKwDocument*>(result.Document.Get()), &outcome.Document);
    if (KwHostNode* contents = result.Contents())
        KwHostAttributeReport::Read(static_cast<IKwContents*>(contents), &outcome.Contents);
    if (KwHostNode* node = result.Node())
        KwHostAttributeReport::Read(static_cast<IKwContainer*>(node), &outcome.Node);
    ReadNodeFacts(outcome);
    if (FAILED(hr)) {
        outcome.Message = WhyRefused(stream.Get(), hr);
        if (outcome.Message.empty())
            outcome.Message = "the load filter refused it: " +
                              (outcome.FailedStep.empty() ? std::string("the load") : outcome.FailedStep) +
                              " returned " + HresultText(hr);
    }
    // A conversion to JPEG keeps it.
    if (SUCCEEDED(hr) && keepPixels) outcome.Exif = KwExifBlock::Read(stream.Get());
    if (KwHostRasterBlock* raster = result.Raster()) {
        if (raster->HasStorage()) {
            outcome.HasRaster = true;
            outcome.Width = raster->Width();
            outcome.Height = raster->Height();
            outcome.BitsPerPixel = raster->BitsPerPixel();
            outcome.RowsDelivered = raster->RowsDelivered();
            if (keepPixels && !raster->Streaming()) {
                // The image is read straight from the host's raster block, which
                // the outcome keeps alive: no second copy of the pixels.
                outcome.Image.Width = raster->Width();
                outcome.Image.Height = raster->Height();
                outcome.Image.BitsPerPixel = raster->BitsPerPixel();
                for (LONG entry : raster->Palette()) outcome.Image.Palette.push_back(uint32_t(entry) & 0xFFFFFF);
                raster->AddRef();
                std::shared_ptr<void> keeper(static_cast<IKwRasterBlock*>(raster),
                                             [](void* block) { static_cast<IKwRasterBlock*>(block)->Release(); });
                outcome.Image.BorrowRows(raster->Row(0), std::move(keeper));
            }
        }
    }
    result.Reset();
    return outcome;
}

HRESULT KwToolSession::Save(KwRasterImage&& source, const std::string& path, std::string& message)
{
    KwHostImage image;
    const std::vector<uint8_t> exif = std::move(source.Exif), profile = std::move(source.IccProfile);
    try {
        image = KwRasterImage::ToHostImage(std::move(source));
    } catch (...) {
        message = "out of memory";
        return E_OUTOFMEMORY;
    }
    return Save(image, path, message, exif, profile);
}

HRESULT KwToolSession::Save(const KwHostImage& image, const std::string& path, std::string& message,
                            const std::vector<uint8_t>& exif, const std::vector<uint8_t>& profile)
{
    KwComPtr<IKwFilterSave> filter;
    HRESULT hr = CreateFilter(path, true, IID_IKwFilterSave, reinterpret_cast<void**>(filter.Receive()), message);
    if (FAILED(hr)) return hr;

    std::string temporary = KwImageFiles::TemporaryPathFor(path);
    KwComPtr<KwHostFileStream> stream;
    hr = m_Engine->OpenFileStream(temporary, KwHostFileMode::Write, stream.Receive());
    if (FAILED(hr)) {
        message = path + ": cannot create the file: " + HresultText(hr) + " (does its folder exist, and is it writable?)";
        KwImageFiles::DiscardTemporary(temporary);
        return hr;
    }
    KwHostSaveDriver driver(m_Engine->Context());
    KwHostSaveOptions options;
    options.StorageName = KwPaths::Name(path);
    hr = driver.Save(filter.Get(), static_cast<IStream*>(stream.Get()), image, options);
    const std::string writeFailure = stream->WriteFailure();
    filter.Reset();
    stream.Reset(); // closes the file
    if (FAILED(hr)) {
        message = "the save filter failed at " + driver.FailedStep() + ": " + HresultText(hr);
        if (!writeFailure.empty())
            message = path + ": could not write all bytes (" + writeFailure + "; disk full?); " + message;
        KwImageFiles::DiscardTemporary(temporary);
        return hr;
    }
    if (image.DpiX > 0 && image.DpiY > 0 &&
        !KwJfifResolution::Write(temporary, long(image.DpiX), long(image.DpiY), message)) {
        message = path + ": " + message;
        KwImageFiles::DiscardTemporary(temporary);
        return E_FAIL;
    }
    if (!KwJpegMetadataWriter::Write(temporary, exif, profile, message)) {
        message = path + ": " + message;
        KwImageFiles::DiscardTemporary(temporary);
        return E_FAIL;
    }
    if (!KwImageFiles::CommitTemporary(temporary, path, message)) return E_FAIL;
    return S_OK;
}

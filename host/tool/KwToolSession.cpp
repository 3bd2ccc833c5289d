#include "KwToolSession.h"

#include <cstdio>
#include <cstring>

#include "JpegFrameHeader.h"
#include "KwHostDocument.h"
#include "KwHostEventSink.h"
#include "KwHostFileStream.h"
#include "KwHostImage.h"
#include "KwHostLoad.h"
#include "KwHostNode.h"
#include "KwHostRasterBlock.h"
#include "KwHostSaveDriver.h"
#include "KwImageFiles.h"
#include "KwPaths.h"

namespace {

std::string ExtensionOf(const std::string& path)
{
    const std::string extension = KwPaths::Extension(path);
    return extension.empty() ? std::string("(none)") : "." + extension;
}

// What the tool uses of node 1 beyond the report: orientation, resolution, damage.
void ReadNodeFacts(KwLoadOutcome& outcome)
{
    LONGLONG orientation = 0;
    if (const KwHostReportedAttribute* a = KwHostAttributeReport::Find(outcome.node, "Orientation"))
        if (KwHostVariant::AsInteger(a->value.Get(), &orientation) && orientation >= 1 && orientation <= 8)
            outcome.orientation = int(orientation);
    if (const KwHostReportedAttribute* a = KwHostAttributeReport::Find(outcome.node, "LpiX"))
        if (a->value.Type() == VT_R8) outcome.dpiX = a->value.Get().dblVal;
    if (const KwHostReportedAttribute* a = KwHostAttributeReport::Find(outcome.node, "LpiY"))
        if (a->value.Type() == VT_R8) outcome.dpiY = a->value.Get().dblVal;
    if (const KwHostReportedAttribute* a = KwHostAttributeReport::Find(outcome.node, "Damage"))
        if (a->value.Type() == VT_BSTR) outcome.damage = KwHostVariant::Narrow(a->value.Get().bstrVal);
}

} // namespace

KwToolSession::KwToolSession(std::string libraryPath) : m_LibraryPath(std::move(libraryPath)) {}

KwToolSession::~KwToolSession()
{
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

bool KwToolSession::StartWithoutAttributeClass(std::string& error) { return MakeEngine(error); }

bool KwToolSession::Start(std::string& error)
{
    if (!MakeEngine(error)) return false;
    HRESULT hr = m_Engine->Start();
    if (FAILED(hr)) {
        error = "cannot start the host engine: " + HresultText(hr);
        return false;
    }
    return true;
}

// What the tool can tell of a file the filter refused: a kind of JPEG the codec
// does not decode, or a size above the host's pixel limit.
std::string KwToolSession::WhyRefused(const std::string& path, HRESULT hr) const
{
    JpegFrameHeader frame;
    if (!JpegFrameHeader::Read(path, frame)) return std::string();
    const std::string kind = frame.UnusualKind();
    if (!kind.empty()) return "the file is " + kind + ", which the codec cannot decode";
    const unsigned long long pixels = static_cast<unsigned long long>(frame.Width) * frame.Height;
    if (hr == E_OUTOFMEMORY && m_PixelLimit && pixels > m_PixelLimit)
        return "the image has " + std::to_string(frame.Width) + " x " + std::to_string(frame.Height) + " = " +
               std::to_string(pixels) + " pixels, more than the limit of " + std::to_string(m_PixelLimit) +
               " (--max-pixels)";
    return std::string();
}

std::string KwToolSession::HresultText(HRESULT hr)
{
    struct Name {
        HRESULT hr;
        const char* name;
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
        {STG_E_ACCESSDENIED, "STG_E_ACCESSDENIED"},
    };
    char text[48];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    for (const Name& n : names)
        if (n.hr == hr) return std::string(text) + " (" + n.name + ")";
    return text;
}

// A filter for `path`: straight from the library named on the command line, or
// found in the catalogue (the load filter by the file's extension, the save
// filter by its save extension) and created by ProgID.
HRESULT KwToolSession::CreateFilter(const std::string& path, bool save, REFIID riid, void** out, std::string& message)
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
    if (!entry) {
        message = m_Catalog.empty()
                      ? "no filter is registered (registry " + std::string(KwRegistryPath()) +
                            "); run `kwjpeg register` first"
                      : std::string("no registered filter ") + (save ? "saves " : "opens ") + ExtensionOf(path) +
                            " files (see `kwjpeg filters`)";
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT hr = KwFilterCatalog::Create(entry->progId, riid, out);
    if (FAILED(hr))
        message = std::string("cannot create the ") + role + " filter " + entry->progId + ": " + HresultText(hr) +
                  " (is it registered? run `kwjpeg register`)";
    return hr;
}

KwLoadOutcome KwToolSession::Load(const std::string& path, bool keepPixels, std::shared_ptr<KwHostRowSink> rowSink)
{
    KwLoadOutcome outcome;
    KwComPtr<KwHostFileStream> stream;
    HRESULT hr = m_Engine->OpenFileStream(path, KwHostFileMode::Read, stream.Receive());
    if (FAILED(hr)) {
        outcome.result = hr;
        outcome.failedStep = "open file";
        outcome.message = hr == STG_E_FILENOTFOUND
                              ? "no such file (check the path)"
                              : "cannot open the file for reading (" + HresultText(hr) + "; check its permissions)";
        return outcome;
    }
    KwComPtr<IKwFilter> filter;
    hr = CreateFilter(path, false, IID_IKwFilter, reinterpret_cast<void**>(filter.Receive()), outcome.message);
    if (FAILED(hr)) {
        outcome.result = hr;
        outcome.failedStep = "find filter";
        return outcome;
    }

    KwComPtr<KwHostEventSink> sink;
    if (m_Progress && SUCCEEDED(KwHostEventSink::Create(sink.Receive(), m_Engine->Context()))) {
        auto progress = m_Progress;
        sink->SetCallback([progress](LONG value, VARIANT_BOOL*) { progress(int(value)); });
        sink->Connect(filter.Get());
    }

    KwHostLoadOptions options;
    options.name = KwPaths::Name(path);
    KwHostLoadResult result;
    m_Engine->SetRowSink(std::move(rowSink));
    hr = KwHostLoad(*m_Engine, filter.Get(), static_cast<IStream*>(stream.Get()), options, &result);
    m_Engine->SetRowSink(nullptr);
    if (sink) sink->Disconnect(filter.Get());
    outcome.result = hr;
    if (FAILED(result.openResult))
        outcome.failedStep = "OpenDocument";
    else if (FAILED(result.nodeResult))
        outcome.failedStep = "GetNode";

    if (result.document)
        KwHostAttributeReport::Read(static_cast<IKwDocument*>(result.document.Get()), &outcome.document);
    if (KwHostNode* contents = result.Contents())
        KwHostAttributeReport::Read(static_cast<IKwContents*>(contents), &outcome.contents);
    if (KwHostNode* node = result.Node())
        KwHostAttributeReport::Read(static_cast<IKwContainer*>(node), &outcome.node);
    ReadNodeFacts(outcome);
    if (FAILED(hr)) outcome.message = WhyRefused(path, hr);
    if (KwHostRasterBlock* raster = result.Raster()) {
        if (raster->HasStorage()) {
            outcome.hasRaster = true;
            outcome.width = raster->Width();
            outcome.height = raster->Height();
            outcome.bitsPerPixel = raster->BitsPerPixel();
            outcome.rowsDelivered = raster->RowsDelivered();
            if (keepPixels && !raster->Streaming()) {
                // The image is read straight from the host's raster block, which
                // the outcome keeps alive: no second copy of the pixels.
                outcome.image.width = raster->Width();
                outcome.image.height = raster->Height();
                outcome.image.bitsPerPixel = raster->BitsPerPixel();
                for (LONG entry : raster->Palette()) outcome.image.palette.push_back(uint32_t(entry) & 0xFFFFFF);
                raster->AddRef();
                std::shared_ptr<void> keeper(static_cast<IKwRasterBlock*>(raster),
                                             [](void* block) { static_cast<IKwRasterBlock*>(block)->Release(); });
                outcome.image.BorrowRows(raster->Row(0), std::move(keeper));
            }
        }
    }
    result.Reset();
    return outcome;
}

HRESULT KwToolSession::Save(KwRasterImage&& source, const std::string& path, std::string& message)
{
    KwHostImage image;
    try {
        image = KwRasterImage::ToHostImage(std::move(source));
    } catch (...) {
        message = "out of memory";
        return E_OUTOFMEMORY;
    }
    return Save(image, path, message);
}

HRESULT KwToolSession::Save(const KwHostImage& image, const std::string& path, std::string& message)
{
    KwComPtr<IKwFilterSave> filter;
    HRESULT hr = CreateFilter(path, true, IID_IKwFilterSave, reinterpret_cast<void**>(filter.Receive()), message);
    if (FAILED(hr)) return hr;

    std::string temporary = KwImageFiles::TemporaryPathFor(path);
    KwComPtr<KwHostFileStream> stream;
    hr = m_Engine->OpenFileStream(temporary, KwHostFileMode::Write, stream.Receive());
    if (FAILED(hr)) {
        message = "cannot create the output file " + path + " (" + HresultText(hr) +
                  "; does its folder exist, and is it writable?)";
        KwImageFiles::DiscardTemporary(temporary);
        return hr;
    }
    KwHostSaveDriver driver(m_Engine->Context());
    KwHostSaveOptions options;
    options.storageName = KwPaths::Name(path);
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
    if (!KwImageFiles::CommitTemporary(temporary, path, message)) return E_FAIL;
    return S_OK;
}

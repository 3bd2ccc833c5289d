// Fuzz target: the save path driven by bytes that choose the calls (see
// KwFuzzSaveProgram.h): storage of any size and depth within what the run can
// afford, scanlines of every type at any place, EndObject at any time, a second
// storage, attributes and the ignored calls, more raster objects on one stream.
// Every result is checked against what the filter promises.
#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "CKwFilterSaveJPEG.h"
#include "KwAutomation.h"
#include "KwComObject.h"
#include "KwComPtr.h"
#include "KwFuzzHost.h"
#include "KwFuzzSaveProgram.h"
#include "KwHostDataObject.h"
#include "KwHostMemoryStream.h"

using namespace KwFuzzSave;

namespace {

// Storage the harness will not ask for: larger than the run can afford.
const int64_t MaxStorageBytes = 4ll << 20;
const int64_t MaxScanlineBytes = 1ll << 20;

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_save: %s\n", what);
        std::abort();
    }
}

struct HeaderErrors {
    jpeg_error_mgr Public;
    std::jmp_buf Jump;
};

extern "C" void HeaderErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<HeaderErrors*>(cinfo->err)->Jump, 1); }
extern "C" void HeaderSilent(j_common_ptr, int) {}

bool ReadHeader(j_decompress_ptr cinfo, const unsigned char* data, size_t size, HeaderErrors* errors)
{
    if (setjmp(errors->Jump)) return false;
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    return jpeg_read_header(cinfo, TRUE) == JPEG_HEADER_OK;
}

// The JPEG stream that one successful EndObject wrote must describe the image.
void CheckWrittenImage(const unsigned char* data, size_t size, LONG width, LONG height)
{
    Check(size >= 4 && data[0] == 0xFF && data[1] == 0xD8 && data[size - 2] == 0xFF && data[size - 1] == 0xD9,
          "EndObject succeeded without writing a whole JPEG stream");
    HeaderErrors errors;
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof(cinfo));
    cinfo.err = jpeg_std_error(&errors.Public);
    errors.Public.error_exit = HeaderErrorExit;
    errors.Public.emit_message = HeaderSilent;
    jpeg_create_decompress(&cinfo);
    const bool ok = ReadHeader(&cinfo, data, size, &errors);
    const bool matches = ok && cinfo.image_width == static_cast<JDIMENSION>(width) &&
                         cinfo.image_height == static_cast<JDIMENSION>(height) && cinfo.num_components == 3;
    jpeg_destroy_decompress(&cinfo);
    Check(matches, "EndObject succeeded but the stream does not describe the image");
}

bool ValidDepth(LONG bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// What the harness knows of the raster object's storage.
struct Storage {
    bool present = false;
    LONG width = 0;
    LONG height = 0;
    LONG rowSize = 0;
};

class SaveRun {
public:
    SaveRun(KwFuzzReader& in, KwHostEngine& engine) : m_in(in), m_engine(engine) {}
    void Run();

private:
    void CreateStorage();
    void AddScanline();
    void EndObject();
    bool NewRaster();

    KwFuzzReader& m_in;
    KwHostEngine& m_engine;
    KwComPtr<KwHostMemoryStream> m_stream;
    KwComPtr<IKwSaveStructure> m_structure;
    KwComPtr<IKwSaveRasterData> m_raster;
    Storage m_storage;
    bool m_writesIntact = true;
};

void SaveRun::Run()
{
    const uint8_t streamMode = m_in.U8();
    if (FAILED(KwHostMemoryStream::Create(nullptr, 0, m_stream.Receive(), m_engine.Context()))) std::abort();
    if (streamMode & 1) {
        m_stream->Switches().writeAcceptMax = m_in.U16();
        m_writesIntact = false;
    }
    if (streamMode & 2) {
        m_stream->Switches().failWriteAtCall = 1u + m_in.U8();
        m_writesIntact = false;
    }

    KwComPtr<IKwFilterSave> filter;
    Check(KwCreateComObject<CKwFilterSaveJPEG>(nullptr, IID_IKwFilterSave,
                                               reinterpret_cast<void**>(filter.Receive())) == S_OK,
          "save filter not created");
    KwComPtr<KwHostDataObject> dataObject;
    if (FAILED(KwHostDataObject::Create(static_cast<IStream*>(m_stream.Get()), "output.jpg", dataObject.Receive(),
                                        m_engine.Context())))
        std::abort();
    KwComPtr<IUnknown> document;
    Check(filter->CreateDocument(dataObject.Get(), nullptr, document.Receive()) == S_OK && document,
          "CreateDocument on a stream failed");
    Check(kw_query(document.Get(), m_structure.Receive()) == S_OK, "the save object is not a structure");

    VARIANT index;
    VariantInit(&index);
    const int levels = m_in.U8() % 4;
    for (int i = 0; i < levels; ++i) {
        const LONG type = 1100 + m_in.U16() % 3;
        KwComPtr<IUnknown> child;
        Check(m_structure->CreateObject(static_cast<KW_OBJECT_TYPE>(type), index, nullptr, child.Receive()) == S_OK,
              "a structure level was refused");
        KwComPtr<IKwSaveStructure> level;
        Check(kw_query(child.Get(), level.Receive()) == S_OK, "a structure level is not a structure");
        m_structure = level;
    }
    if (!NewRaster()) return;

    for (int steps = 0; !m_in.Empty() && steps < 64; ++steps) {
        switch (m_in.U8() % OpCount) {
        case OpCreateStorage:
            CreateStorage();
            break;
        case OpAddScanline:
            AddScanline();
            break;
        case OpEndObject:
            EndObject();
            break;
        case OpPutAttribute: {
            KwBstr name(OLESTR("Quality"));
            KwVariant value;
            value.SetI4(static_cast<LONG>(m_in.U32()));
            if (m_raster) Check(m_raster->PutAttribute(name.Get(), value) == S_OK, "PutAttribute failed");
            Check(m_structure->PutAttribute(name.Get(), value) == S_OK, "structure PutAttribute failed");
            break;
        }
        case OpIgnoredCalls:
            if (m_raster) {
                LONG bytesPerLine = 4;
                unsigned char line[4] = {};
                Check(m_raster->AddScanline2(KW_RASTER_RGB, 0, 1, &bytesPerLine, 4, line) == S_OK, "AddScanline2");
                Check(m_raster->StartPolyClipRegion(0, nullptr, 0, nullptr, 0) == S_OK, "StartPolyClipRegion");
                Check(m_raster->AppendPolyClipRegion(0, nullptr, 0, nullptr, 0) == S_OK, "AppendPolyClipRegion");
            }
            break;
        case OpNewRaster:
            if (!NewRaster()) return;
            break;
        case OpCreateObject: {
            const LONG type = static_cast<LONG>(m_in.U16()) % 4096;
            KwComPtr<IUnknown> child;
            const HRESULT hr = m_structure->CreateObject(static_cast<KW_OBJECT_TYPE>(type), index, nullptr,
                                                         child.Receive());
            const bool accepted = (type >= 1100 && type <= 1102) || type == 1202;
            Check(accepted ? (hr == S_OK && child) : (hr == E_INVALIDARG && !child), "CreateObject result");
            break;
        }
        case OpDropRaster:
            m_raster.Reset();
            m_storage = Storage();
            break;
        }
    }
    m_raster.Reset();
    m_structure.Reset();
    Check(filter->CloseDocument() == S_OK, "CloseDocument failed");
}

bool SaveRun::NewRaster()
{
    KwComPtr<IUnknown> child;
    VARIANT index;
    VariantInit(&index);
    Check(m_structure->CreateObject(KW_RASTER_BLOCK, index, nullptr, child.Receive()) == S_OK,
          "the raster block was refused");
    m_raster.Reset();
    Check(kw_query(child.Get(), m_raster.Receive()) == S_OK, "the raster object lacks IKwSaveRasterData");
    m_storage = Storage();
    return true;
}

void SaveRun::CreateStorage()
{
    const uint8_t widthSel = m_in.U8();
    const uint16_t widthValue = m_in.U16();
    const uint8_t heightSel = m_in.U8();
    const uint16_t heightValue = m_in.U16();
    const LONG bits = Depths[m_in.U8() % DepthCount];
    const LONG colors = static_cast<LONG>(m_in.U16() % 300) - 2;
    const bool table = (m_in.U8() & 1) != 0;

    LONG width, height;
    if (widthSel % 8 == 0) {
        width = SpecialWidths[(widthSel / 8) % SpecialCount];
        height = 1 + heightValue % 4;
    } else if (heightSel % 8 == 0) {
        height = SpecialHeights[(heightSel / 8) % SpecialCount];
        width = 1 + widthValue % 8;
    } else {
        // Mostly small images, which keep the run fast; now and then up to 160 x 160
        // (several MCU rows and columns, still within the sanitizer allocator's small sizes).
        const int range = widthSel % 8 == 7 ? 161 : 65;
        width = widthValue % range;
        height = heightValue % range;
    }
    // What the filter would allocate, if it accepts; the harness does not ask for more than it can afford.
    const int64_t rowBits = static_cast<int64_t>(bits) * width + 31;
    const int64_t rowSize = (rowBits / 32) * 4;
    const int64_t image = rowSize * height;
    if (ValidDepth(bits) && width > 0 && height > 0 && rowBits <= INT32_MAX && image <= INT32_MAX &&
        image > MaxStorageBytes)
        return;

    std::vector<LONG> palette;
    if (table) {
        palette.resize(colors > 0 ? static_cast<size_t>(colors) : 1);
        m_in.Bytes(reinterpret_cast<uint8_t*>(palette.data()), palette.size() * sizeof(LONG));
    }
    if (!m_raster) return;
    KwBstr compression(OLESTR("JPEG"));
    const HRESULT hr = m_raster->CreateRasterStorage(width, height, bits, 300, 300, compression.Get(), colors,
                                                     table ? palette.data() : nullptr);
    if (!ValidDepth(bits)) Check(hr == E_FAIL, "an unknown depth was accepted");
    if (width <= 0 || height <= 0 || rowBits > INT32_MAX || image > INT32_MAX || colors < 0 || colors > 256)
        Check(FAILED(hr), "storage out of range was accepted");
    if (colors > 0 && !table) Check(FAILED(hr), "a palette without a table was accepted");
    m_storage = Storage();
    if (hr == S_OK) {
        m_storage.present = true;
        m_storage.width = width;
        m_storage.height = height;
        m_storage.rowSize = static_cast<LONG>(rowSize);
    }
}

void SaveRun::AddScanline()
{
    const uint8_t typeByte = m_in.U8();
    const uint16_t startValue = m_in.U16();
    const uint16_t linesValue = m_in.U16();
    const uint16_t bytesValue = m_in.U16();
    const uint8_t flags = m_in.U8();

    // The known types and unknown ones on both sides of them.
    const LONG type = static_cast<int8_t>(typeByte);
    const LONG height = m_storage.present ? m_storage.height : 4;
    const LONG rowSize = m_storage.present ? m_storage.rowSize : 16;
    const LONG span = height > 4096 ? 4096 : height;
    LONG start = static_cast<LONG>(startValue % (span + 17)) - 8;
    LONG lines = static_cast<LONG>(linesValue % (span + 20)) - 2;
    const LONG bytesPerLine = static_cast<LONG>(bytesValue % (2 * (rowSize > 4096 ? 4096 : rowSize) + 17)) - 2;
    // The lines the caller's buffer holds: all NoLines of them, or with
    // FlagAllLines every row from StartLine to the end of the image.
    int64_t heldLines = lines > 0 ? lines : 0;
    if ((flags & FlagAllLines) && start >= 0) {
        lines = INT32_MAX;
        heldLines = start < height ? height - start : 0;
    }
    // A run-coded line has no length of its own: the caller ends it with its
    // terminator, and BytesPerLine of any value (zero and negative too) is the
    // step from one line to the next.
    const bool runCoded = type == KW_RASTER_RLC_16 || type == KW_RASTER_RLC_32;
    const int64_t recordSize = type == KW_RASTER_RLC_32 ? 8 : 4;
    const int64_t terminatorSize = recordSize / 2;
    const int64_t step = bytesPerLine < 0 ? -static_cast<int64_t>(bytesPerLine) : bytesPerLine;
    // The bytes from a line's start that hold its records and terminator.
    int64_t lineExtent = bytesPerLine > 0 ? bytesPerLine : 0;
    if (runCoded) {
        lineExtent = step != 0 ? std::max(step, terminatorSize) : recordSize * (flags >> 2) + terminatorSize;
    }
    int64_t bufferBytes = heldLines * (bytesPerLine > 0 ? bytesPerLine : 0);
    if (runCoded) bufferBytes = heldLines > 0 ? (heldLines - 1) * step + lineExtent : 0;
    if (bufferBytes > MaxScanlineBytes) return;
    // Exactly the caller's bytes, so that a read past them is caught.
    std::vector<unsigned char> buffer(static_cast<size_t>(bufferBytes));
    m_in.Bytes(buffer.data(), std::min<size_t>(buffer.size(), m_in.Left()));
    if (runCoded) {
        // Each line's terminator at the last record place of its bytes. Where
        // lines overlap (a step below a terminator) all their bytes are terminators.
        const int64_t at = (lineExtent - terminatorSize) / recordSize * recordSize;
        for (int64_t line = 0; line < heldLines; ++line)
            std::memset(buffer.data() + line * step + at, 0xFF, static_cast<size_t>(terminatorSize));
    }
    if (!m_raster) return;
    unsigned char* data = (flags & FlagNullData) ? nullptr : (buffer.empty() ? nullptr : buffer.data());
    unsigned char empty = 0;
    if (!data && !(flags & FlagNullData)) data = &empty; // a valid pointer to no bytes
    // Stepping backwards, the first line is the last in memory.
    if (runCoded && data && bytesPerLine < 0 && heldLines > 0) data += (heldLines - 1) * step;
    const HRESULT hr = m_raster->AddScanline1(static_cast<KW_RASTER_TYPE>(type), start, lines, bytesPerLine, data);
    if (!m_storage.present) {
        Check(hr == E_FAIL, "AddScanline1 without storage did not fail");
    } else if (lines > 0) {
        const bool stored = runCoded || type == KW_RASTER_RGB || type == KW_RASTER_RGBA ||
                            type == KW_RASTER_INDEX_4 || type == KW_RASTER_INDEX_8;
        if (!stored) Check(hr == S_OK, "a form that is not stored was refused");
        if (runCoded) Check(hr == (data ? S_OK : E_POINTER), "a run-coded line was refused");
    }
}

void SaveRun::EndObject()
{
    if (!m_raster) return;
    const size_t before = m_stream->Bytes().size();
    const ULONGLONG position = m_stream->Position();
    const HRESULT hr = m_raster->EndObject();
    if (!m_storage.present) {
        Check(hr == E_FAIL, "EndObject without storage did not fail");
        Check(m_stream->Bytes().size() == before, "EndObject without storage wrote");
        return;
    }
    if (hr == S_OK && m_writesIntact) {
        const std::vector<unsigned char>& bytes = m_stream->Bytes();
        Check(position <= bytes.size(), "stream position past its end");
        CheckWrittenImage(bytes.data() + position, static_cast<size_t>(m_stream->Position() - position),
                          m_storage.width, m_storage.height);
    }
    m_storage = Storage(); // ended, also after a failure: no buffer any more
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    KwFuzzStart();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KwHostEngine& engine = KwFuzzEngine();
    {
        KwFuzzReader in(data, size);
        SaveRun run(in, engine);
        run.Run();
    }
    KwFuzzCheckClean("fuzz_save");
    return 0;
}

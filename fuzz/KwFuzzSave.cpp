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

#include "save/CKwFilterSaveJPEG.h"
#include "com/KwAutomation.h"
#include "com/KwComObject.h"
#include "com/KwComPtr.h"
#include "KwFuzzHost.h"
#include "KwFuzzSaveProgram.h"
#include "engine/KwHostDataObject.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostMemoryStream.h"

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
    bool Present = false;
    LONG Width = 0;
    LONG Height = 0;
    LONG RowSize = 0;
};

class SaveRun {
public:
    SaveRun(KwFuzzReader& in, KwHostEngine& engine) : m_In(in), m_Engine(engine) {}
    void Run();

private:
    void CreateStorage();
    void AddScanline();
    void EndObject();
    bool NewRaster();

    KwFuzzReader& m_In;
    KwHostEngine& m_Engine;
    KwComPtr<KwHostMemoryStream> m_Stream;
    KwComPtr<IKwSaveStructure> m_Structure;
    KwComPtr<IKwSaveRasterData> m_Raster;
    Storage m_Storage;
    bool m_WritesIntact = true;
};

void SaveRun::Run()
{
    const uint8_t streamMode = m_In.U8();
    if (FAILED(KwHostMemoryStream::Create(nullptr, 0, m_Stream.Receive(), m_Engine.Context()))) std::abort();
    if (streamMode & 1) {
        KwHostDouble(m_Stream).Switches().WriteAcceptMax = m_In.U16();
        m_WritesIntact = false;
    }
    if (streamMode & 2) {
        KwHostDouble(m_Stream).Switches().FailWriteAtCall = 1u + m_In.U8();
        m_WritesIntact = false;
    }

    KwComPtr<IKwFilterSave> filter;
    Check(KwCreateComObject<CKwFilterSaveJPEG>(nullptr, IID_IKwFilterSave,
                                               reinterpret_cast<void**>(filter.Receive())) == S_OK,
          "save filter not created");
    KwComPtr<KwHostDataObject> dataObject;
    if (FAILED(KwHostDataObject::Create(static_cast<IStream*>(m_Stream.Get()), "output.jpg", dataObject.Receive(),
                                        m_Engine.Context())))
        std::abort();
    KwComPtr<IUnknown> document;
    Check(filter->CreateDocument(dataObject.Get(), nullptr, document.Receive()) == S_OK && document,
          "CreateDocument on a stream failed");
    Check(KwQuery(document.Get(), m_Structure.Receive()) == S_OK, "the save object is not a structure");

    VARIANT index;
    VariantInit(&index);
    const int levels = m_In.U8() % 4;
    for (int i = 0; i < levels; ++i) {
        const LONG type = 1100 + m_In.U16() % 3;
        KwComPtr<IUnknown> child;
        Check(m_Structure->CreateObject(static_cast<KW_OBJECT_TYPE>(type), index, nullptr, child.Receive()) == S_OK,
              "a structure level was refused");
        KwComPtr<IKwSaveStructure> level;
        Check(KwQuery(child.Get(), level.Receive()) == S_OK, "a structure level is not a structure");
        m_Structure = level;
    }
    if (!NewRaster()) return;

    for (int steps = 0; !m_In.Empty() && steps < 64; ++steps) {
        switch (m_In.U8() % OpCount) {
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
            value.SetI4(static_cast<LONG>(m_In.U32()));
            if (m_Raster) Check(m_Raster->PutAttribute(name.Get(), value) == S_OK, "PutAttribute failed");
            Check(m_Structure->PutAttribute(name.Get(), value) == S_OK, "structure PutAttribute failed");
            break;
        }
        case OpIgnoredCalls:
            if (m_Raster) {
                LONG bytesPerLine = 4;
                unsigned char line[4] = {};
                Check(m_Raster->AddScanline2(KW_RASTER_RGB, 0, 1, &bytesPerLine, 4, line) == S_OK, "AddScanline2");
                Check(m_Raster->StartPolyClipRegion(0, nullptr, 0, nullptr, 0) == S_OK, "StartPolyClipRegion");
                Check(m_Raster->AppendPolyClipRegion(0, nullptr, 0, nullptr, 0) == S_OK, "AppendPolyClipRegion");
            }
            break;
        case OpNewRaster:
            if (!NewRaster()) return;
            break;
        case OpCreateObject: {
            const LONG type = static_cast<LONG>(m_In.U16()) % 4096;
            KwComPtr<IUnknown> child;
            const HRESULT hr = m_Structure->CreateObject(static_cast<KW_OBJECT_TYPE>(type), index, nullptr,
                                                         child.Receive());
            const bool accepted = (type >= 1100 && type <= 1102) || type == 1202;
            Check(accepted ? (hr == S_OK && child) : (hr == E_INVALIDARG && !child), "CreateObject result");
            break;
        }
        case OpDropRaster:
            m_Raster.Reset();
            m_Storage = Storage();
            break;
        }
    }
    m_Raster.Reset();
    m_Structure.Reset();
    Check(filter->CloseDocument() == S_OK, "CloseDocument failed");
}

bool SaveRun::NewRaster()
{
    KwComPtr<IUnknown> child;
    VARIANT index;
    VariantInit(&index);
    Check(m_Structure->CreateObject(KW_RASTER_BLOCK, index, nullptr, child.Receive()) == S_OK,
          "the raster block was refused");
    m_Raster.Reset();
    Check(KwQuery(child.Get(), m_Raster.Receive()) == S_OK, "the raster object lacks IKwSaveRasterData");
    m_Storage = Storage();
    return true;
}

void SaveRun::CreateStorage()
{
    const uint8_t widthSel = m_In.U8();
    const uint16_t widthValue = m_In.U16();
    const uint8_t heightSel = m_In.U8();
    const uint16_t heightValue = m_In.U16();
    const LONG bits = Depths[m_In.U8() % DepthCount];
    const LONG colors = static_cast<LONG>(m_In.U16() % 300) - 2;
    const bool table = (m_In.U8() & 1) != 0;

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
        m_In.Bytes(reinterpret_cast<uint8_t*>(palette.data()), palette.size() * sizeof(LONG));
    }
    if (!m_Raster) return;
    KwBstr compression(OLESTR("JPEG"));
    const HRESULT hr = m_Raster->CreateRasterStorage(width, height, bits, 300, 300, compression.Get(), colors,
                                                     table ? palette.data() : nullptr);
    if (!ValidDepth(bits)) Check(hr == E_FAIL, "an unknown depth was accepted");
    if (width <= 0 || height <= 0 || rowBits > INT32_MAX || image > INT32_MAX || colors < 0 || colors > 256)
        Check(FAILED(hr), "storage out of range was accepted");
    if (colors > 0 && !table) Check(FAILED(hr), "a palette without a table was accepted");
    m_Storage = Storage();
    if (hr == S_OK) {
        m_Storage.Present = true;
        m_Storage.Width = width;
        m_Storage.Height = height;
        m_Storage.RowSize = static_cast<LONG>(rowSize);
    }
}

void SaveRun::AddScanline()
{
    const uint8_t typeByte = m_In.U8();
    const uint16_t startValue = m_In.U16();
    const uint16_t linesValue = m_In.U16();
    const uint16_t bytesValue = m_In.U16();
    const uint8_t flags = m_In.U8();

    // The known types and unknown ones on both sides of them.
    const LONG type = static_cast<int8_t>(typeByte);
    const LONG height = m_Storage.Present ? m_Storage.Height : 4;
    const LONG rowSize = m_Storage.Present ? m_Storage.RowSize : 16;
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
    m_In.Bytes(buffer.data(), std::min<size_t>(buffer.size(), m_In.Left()));
    if (runCoded) {
        // Each line's terminator at the last record place of its bytes. Where
        // lines overlap (a step below a terminator) all their bytes are terminators.
        const int64_t at = (lineExtent - terminatorSize) / recordSize * recordSize;
        for (int64_t line = 0; line < heldLines; ++line)
            std::memset(buffer.data() + line * step + at, 0xFF, static_cast<size_t>(terminatorSize));
    }
    if (!m_Raster) return;
    unsigned char* data = (flags & FlagNullData) ? nullptr : (buffer.empty() ? nullptr : buffer.data());
    unsigned char empty = 0;
    if (!data && !(flags & FlagNullData)) data = &empty; // a valid pointer to no bytes
    // Stepping backwards, the first line is the last in memory.
    if (runCoded && data && bytesPerLine < 0 && heldLines > 0) data += (heldLines - 1) * step;
    const HRESULT hr = m_Raster->AddScanline1(static_cast<KW_RASTER_TYPE>(type), start, lines, bytesPerLine, data);
    if (!m_Storage.Present) {
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
    if (!m_Raster) return;
    const size_t before = m_Stream->Bytes().size();
    const ULONGLONG position = m_Stream->Position();
    const HRESULT hr = m_Raster->EndObject();
    if (!m_Storage.Present) {
        Check(hr == E_FAIL, "EndObject without storage did not fail");
        Check(m_Stream->Bytes().size() == before, "EndObject without storage wrote");
        return;
    }
    if (hr == S_OK && m_WritesIntact) {
        const std::vector<unsigned char>& bytes = m_Stream->Bytes();
        Check(position <= bytes.size(), "stream position past its end");
        CheckWrittenImage(bytes.data() + position, static_cast<size_t>(m_Stream->Position() - position),
                          m_Storage.Width, m_Storage.Height);
    }
    m_Storage = Storage(); // ended, also after a failure: no buffer any more
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

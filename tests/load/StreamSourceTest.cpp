// The stream source as the host's stream sees it (read requests up to the last
// byte, the inserted end-of-image marker, short and empty reads), and its
// routines called directly (refill, skip).
#include <csetjmp>
#include <numeric>

#include <jerror.h>

#include "codec/JpegStreamSource.h"
#include "hostdouble/KwHostDouble.h"
#include "LoadFixture.h"
#include "ReportedSizeStream.h"

namespace {

// A noisy photo-sized image: far more entropy data than the cuts below.
Bytes LargeImage()
{
    TestJpeg::Options options;
    options.Width = 320;
    options.Height = 240;
    options.Quality = 95;
    return TestJpeg::Make(options);
}

// The requests the source makes for a stream of `size` bytes whose reads deliver at most `chunk`.
std::vector<ULONG> ExpectedRequests(ULONG size, ULONG chunk)
{
    std::vector<ULONG> requests;
    ULONG read = 0;
    while (read < size) {
        ULONG count = size - read < 4096 ? size - read : 4096;
        requests.push_back(count);
        read += count < chunk ? count : chunk;
    }
    return requests;
}

} // namespace

class StreamSourceTest : public LoadFixture {};

struct CutCase {
    size_t size;
    std::vector<ULONG> reads;
};
void PrintTo(const CutCase& c, std::ostream* os) { *os << c.size << " bytes"; }
class StreamCutTest : public LoadCaseTest<CutCase> {};

TEST_P(StreamCutTest, ReadsEveryByteOfTheSize)
{
    const Bytes large = LargeImage();
    ASSERT_GT(large.size(), 20000u);
    // Cut inside the entropy data: the codec asks for every byte there is.
    const Bytes cut = TestJpeg::Cut(large, GetParam().size);
    ASSERT_EQ(Open(cut), S_OK);
    ASSERT_EQ(Load(), S_OK);
    EXPECT_EQ(SourceReads(), GetParam().reads);
    EXPECT_EQ(stream->Position(), GetParam().size) << "the last byte is image data";
    // Past the data the codec got end-of-image markers and finished the image
    // itself; the host learns that the file was cut short.
    ExpectRowsOfReference(cut);
    ASSERT_NE(NodeAttribute("Damage"), nullptr);
    EXPECT_EQ(NodeAttribute("Damage")->Value.ValueText(), "Premature end of JPEG file (2 warnings)");
}

INSTANTIATE_TEST_SUITE_P(Sizes, StreamCutTest,
                         ::testing::Values(CutCase{10000, {4096, 4096, 1808}}, CutCase{4097, {4096, 1}},
                                           CutCase{8192, {4096, 4096}}));

TEST_F(StreamSourceTest, WholeFileIsReadToItsEnd)
{
    const Bytes whole = TestJpeg::Make(TestJpeg::Options());
    ASSERT_EQ(Open(whole), S_OK);
    ASSERT_EQ(Load(), S_OK);
    EXPECT_EQ(SourceReads(), ExpectedRequests(static_cast<ULONG>(whole.size()), 4096));
    EXPECT_EQ(stream->Position(), whole.size());
    ExpectRowsOfReference(whole);
}

TEST_F(StreamSourceTest, ShortReads)
{
    const Bytes large = LargeImage();
    // Reads that deliver less than asked: the next refill asks again from there.
    ASSERT_EQ(Open(large), S_OK);
    KwHostDouble(stream).Switches().MaxReadPerCall = 1000;
    ASSERT_EQ(Load(), S_OK);
    EXPECT_EQ(SourceReads(), ExpectedRequests(static_cast<ULONG>(large.size()), 1000));
    ExpectRowsOfReference(large);
}

TEST_F(StreamSourceTest, EmptyReadInTheMiddle)
{
    const Bytes large = LargeImage();
    // A read that delivers nothing in the middle ends the data at once, silently.
    ASSERT_EQ(Open(large), S_OK);
    const ULONG readsBefore = static_cast<ULONG>(KwHostDouble(context).Log().Count("Read"));
    // Open read once; the header scan reads next. Find how many reads it takes on a copy.
    {
        KwComPtr<IKwFilter> probe = NewFilter();
        KwComPtr<KwHostDocument> doc = NewDocument();
        KwComPtr<KwHostMemoryStream> probeStream;
        KwComPtr<KwHostDataObject> data = Bind(large, "probe.jpg", &probeStream);
        ASSERT_EQ(probe->OpenDocument(data.Get(), doc.Get(), nullptr), S_OK);
        ASSERT_EQ(probe->GetNode(Empty(), VARIANT_FALSE, nullptr), S_OK);
        const size_t before = KwHostDouble(probeStream).ReadLog().size();
        ASSERT_EQ(probe->GetNode(Empty(), VARIANT_TRUE, nullptr), S_OK);
        const size_t sourceReads = SourceReads().size();
        const size_t scanReads = KwHostDouble(probeStream).ReadLog().size() - before - sourceReads;
        // The source's second read delivers nothing, and so do all later ones.
        KwHostDouble(stream).Switches().FailReadAtCall = static_cast<ULONG>(readsBefore + scanReads + 2);
        KwHostDouble(stream).Switches().FailReadCalls = 0;
        KwHostDouble(stream).Switches().FailReadBytes = 0;
    }
    KwHostDouble(context).Log().Clear();
    ASSERT_EQ(Load(), S_OK);
    EXPECT_EQ(SourceReads(), (std::vector<ULONG>{4096, 4096}));
    EXPECT_EQ(SourceReads(true), (std::vector<ULONG>{4096, 0}));
    ExpectRowsOfReference(TestJpeg::Cut(large, 4096));
}

class StreamWithoutDataTest : public LoadCaseTest<ULONGLONG> {};

TEST_P(StreamWithoutDataTest, FailsTheLoad)
{
    // The size is what the stream reports; the header bytes are there so that
    // the acceptance test passes.
    Bytes header = TestJpeg::Make(TestJpeg::Options());
    header[4] = 0;
    header[5] = 0;
    KwComPtr<ReportedSizeStream> empty = ReportedSizeStream::Create(context, header, GetParam());
    KwComPtr<KwHostDataObject> data;
    ASSERT_EQ(KwHostDataObject::Create(static_cast<IStream*>(empty.Get()), "e.jpg", data.Receive(), context), S_OK);
    ASSERT_EQ(filter->OpenDocument(data.Get(), document.Get(), nullptr), S_OK);
    EXPECT_EQ(Load(), E_FAIL);
    EXPECT_EQ(SourceReads(), std::vector<ULONG>(GetParam(), 1u));
    ASSERT_EQ(RasterCount(), 1u);
    EXPECT_FALSE(Raster()->HasStorage());
    ASSERT_NE(NodeAttribute("Loaded"), nullptr);
    EXPECT_EQ(NodeAttribute("Loaded")->Value.Get().boolVal, VARIANT_FALSE);
}

INSTANTIATE_TEST_SUITE_P(Sizes, StreamWithoutDataTest, ::testing::Values(0ull, 1ull));

namespace {

struct RecordingErrors {
    jpeg_error_mgr Public;
    std::jmp_buf Jump;
};

extern "C" void RecordingExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<RecordingErrors*>(cinfo->err)->Jump, 1);
}

// Calls fill_input_buffer; false when it raised a fatal error.
bool Fill(j_decompress_ptr cinfo)
{
    if (setjmp(reinterpret_cast<RecordingErrors*>(cinfo->err)->Jump)) return false;
    cinfo->src->fill_input_buffer(cinfo);
    return true;
}

} // namespace

TEST_F(StreamSourceTest, RefillAndSkipCalledDirectly)
{
    // 10000 bytes of a pattern behind a header the acceptance test takes.
    Bytes file(10000);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<unsigned char>(i * 7 % 251);
    const unsigned char head[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10};
    std::copy(head, head + sizeof(head), file.begin());
    ASSERT_EQ(Open(file, "pattern.jpg"), S_OK);
    IStream* source = static_cast<IStream*>(stream.Get());
    const LONG size = static_cast<LONG>(file.size());
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);

    jpeg_decompress_struct cinfo;
    RecordingErrors errors;
    cinfo.err = jpeg_std_error(&errors.Public);
    errors.Public.error_exit = RecordingExit;
    jpeg_create_decompress(&cinfo);
    InstallStreamSource(&cinfo, source, size);
    jpeg_source_mgr* src = cinfo.src;
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(src->bytes_in_buffer, 0u);
    EXPECT_EQ(src->resync_to_restart, jpeg_resync_to_restart);
    src->init_source(&cinfo);

    auto at = [&](size_t offset) { return src->next_input_byte[0] == file[offset]; };
    ASSERT_TRUE(Fill(&cinfo));
    EXPECT_EQ(src->bytes_in_buffer, 4096u);
    src->skip_input_data(&cinfo, 10);
    EXPECT_TRUE(at(10));
    EXPECT_EQ(src->bytes_in_buffer, 4086u);
    src->skip_input_data(&cinfo, 0);
    src->skip_input_data(&cinfo, -5);
    EXPECT_TRUE(at(10));
    // Across two refills, into the last buffer of 1808 bytes.
    src->skip_input_data(&cinfo, 9000);
    EXPECT_TRUE(at(9010));
    EXPECT_EQ(src->bytes_in_buffer, 10000u - 9010u);
    EXPECT_EQ(KwHostDouble(stream).ReadRequests().back(), 1808u);
    // Every byte; then markers, with no further reads.
    src->skip_input_data(&cinfo, static_cast<long>(src->bytes_in_buffer));
    const size_t reads = KwHostDouble(stream).ReadLog().size();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Fill(&cinfo));
        ASSERT_EQ(src->bytes_in_buffer, 2u);
        EXPECT_EQ(src->next_input_byte[0], 0xFF);
        EXPECT_EQ(src->next_input_byte[1], 0xD9);
    }
    EXPECT_EQ(KwHostDouble(stream).ReadLog().size(), reads);
    // A skip past the end consumes markers and stops inside one.
    src->skip_input_data(&cinfo, 5);
    EXPECT_EQ(src->bytes_in_buffer, 1u);
    EXPECT_EQ(src->next_input_byte[0], 0xD9);

    // Installed again: same record, counting from zero where the stream stands.
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    InstallStreamSource(&cinfo, source, size);
    EXPECT_EQ(cinfo.src, src);
    src->init_source(&cinfo);
    ASSERT_TRUE(Fill(&cinfo));
    EXPECT_EQ(src->bytes_in_buffer, 4096u);
    EXPECT_TRUE(at(0));
    jpeg_destroy_decompress(&cinfo);

    // An empty stream: "Empty input file" on the first refill; a stream of one
    // byte hands it over, then the marker.
    Bytes header(file.begin(), file.begin() + 30);
    header[5] = 0;
    for (const ULONGLONG size : {0ull, 1ull}) {
        KwComPtr<ReportedSizeStream> reported = ReportedSizeStream::Create(context, header, size);
        jpeg_create_decompress(&cinfo);
        InstallStreamSource(&cinfo, static_cast<IStream*>(reported.Get()), static_cast<LONG>(size));
        cinfo.src->init_source(&cinfo);
        errors.Public.msg_code = 0;
        const bool filled = Fill(&cinfo);
        EXPECT_EQ(filled, size == 1) << size;
        EXPECT_EQ(errors.Public.msg_code, size == 0 ? JERR_INPUT_EMPTY : 0) << size;
        if (filled) {
            EXPECT_EQ(cinfo.src->bytes_in_buffer, 1u);
            EXPECT_EQ(cinfo.src->next_input_byte[0], 0xFF);
            ASSERT_TRUE(Fill(&cinfo));
            EXPECT_EQ(cinfo.src->bytes_in_buffer, 2u);
        }
        jpeg_destroy_decompress(&cinfo);
    }
}

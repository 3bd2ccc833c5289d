#include "ReliabilityFixture.h"

#include <dirent.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "load/CKwFilterJPEG.h"
#include "com/KwComObject.h"
#include "engine/KwHostObject.h"
#include "com/KwMemory.h"
#include "com/KwModuleLock.h"
#include "SystemProbe.h"

KwHostNode* LoadRun::Node() const
{
    KwHostNode* contents = document ? document->Contents() : nullptr;
    return contents ? contents->FindNode(1) : nullptr;
}

KwHostRasterBlock* LoadRun::Raster() const
{
    KwHostNode* node = Node();
    if (!node) return nullptr;
    std::vector<KwHostRasterBlock*> blocks = node->RasterBlocks();
    return blocks.empty() ? nullptr : blocks.back();
}

bool LoadRun::Loaded() const
{
    KwHostNode* node = Node();
    const KwHostAttributeEntry* loaded = node ? node->FindAttribute("Loaded") : nullptr;
    return loaded && loaded->Value.Type() == VT_BOOL && loaded->Value.Get().boolVal == VARIANT_TRUE;
}

void ReliabilityTest::SetUp()
{
    ASSERT_EQ(KwHostLiveObjects(), 0);
    ASSERT_EQ(KwModuleLockCount(), 0);
    engine.reset(new KwHostEngine());
    ASSERT_TRUE(SUCCEEDED(engine->Start()));
}

void ReliabilityTest::TearDown()
{
    KwSetAllocationHook(nullptr);
    engine.reset();
    ExpectNothingLeft("at the end of the test");
}

void ReliabilityTest::ExpectNothingLeft(const std::string& what)
{
    EXPECT_EQ(KwHostLiveObjects(), 0) << "host objects left alive " << what;
    EXPECT_EQ(KwModuleLockCount(), 0) << "filter objects left alive " << what;
}

std::unique_ptr<LoadRun> ReliabilityTest::StartLoad(const Bytes& file, const std::string& name)
{
    std::unique_ptr<LoadRun> run(new LoadRun());
    EXPECT_EQ(KwCreateComObject<CKwFilterJPEG>(nullptr, IID_IKwFilter, reinterpret_cast<void**>(run->filter.Receive())),
              S_OK);
    EXPECT_EQ(KwHostDocument::Create(run->document.Receive(), engine->Context()), S_OK);
    EXPECT_EQ(KwHostMemoryStream::Create(file, run->stream.Receive(), engine->Context()), S_OK);
    EXPECT_EQ(KwHostDataObject::Create(static_cast<IStream*>(run->stream.Get()), name, run->dataObject.Receive(),
                                       engine->Context()),
              S_OK);
    EXPECT_EQ(KwHostEventSink::Create(run->sink.Receive(), engine->Context()), S_OK);
    EXPECT_EQ(run->sink->Connect(run->filter.Get()), S_OK);
    return run;
}

void ReliabilityTest::FinishLoad(LoadRun& run, bool getNode)
{
    run.open = run.filter->OpenDocument(run.dataObject.Get(), run.document.Get(), nullptr);
    if (run.open != S_OK || !getNode) return;
    VARIANT selector;
    VariantInit(&selector);
    KwComPtr<IDispatch> node;
    run.node = run.filter->GetNode(selector, VARIANT_TRUE, node.Receive());
    run.nodeHandedOut = node.Get() != nullptr;
    // The sink holds the filter's connection; the host takes it down before letting go.
    run.sink->Disconnect(run.filter.Get());
}

std::unique_ptr<LoadRun> ReliabilityTest::RunLoad(const Bytes& file, const std::string& name)
{
    std::unique_ptr<LoadRun> run = StartLoad(file, name);
    FinishLoad(*run);
    return run;
}

void ReliabilityTest::ExpectCompleteLoad(const LoadRun& run, const TestJpeg::Decoded* reference,
                                         const std::string& what)
{
    ASSERT_EQ(run.node, S_OK) << what;
    EXPECT_TRUE(run.Loaded()) << what;
    KwHostRasterBlock* raster = run.Raster();
    ASSERT_NE(raster, nullptr) << what;
    ASSERT_TRUE(raster->HasStorage()) << what;
    EXPECT_EQ(raster->RowsDelivered(), raster->Height()) << "every row is handed over " << what;
    if (!reference) return;
    int stride = 0;
    const Bytes rows = TestJpeg::HostRows(*reference, &stride);
    ASSERT_EQ(raster->Width(), reference->Width) << what;
    ASSERT_EQ(raster->Height(), reference->Height) << what;
    ASSERT_EQ(raster->Stride(), stride) << what;
    for (int y = 0; y < reference->Height; ++y) {
        const unsigned char* row = raster->Row(y);
        ASSERT_NE(row, nullptr) << what;
        ASSERT_EQ(0, std::memcmp(row, rows.data() + static_cast<size_t>(y) * stride, static_cast<size_t>(stride)))
            << "row " << y << " differs from libjpeg's decode " << what;
    }
}

void ReliabilityTest::ExpectFailedLoad(const LoadRun& run, const std::string& what)
{
    EXPECT_FALSE(run.Loaded()) << what;
    KwHostNode* node = run.Node();
    if (node) {
        EXPECT_FALSE(node->HasAttribute("BitsPerPixel")) << what;
    }
}

Bytes SmallRgbFile(int width, int height)
{
    TestJpeg::Options o;
    o.Width = width;
    o.Height = height;
    o.Subsampling = TestJpeg::S420;
    o.DensityUnit = 1;
    o.XDensity = 300;
    o.YDensity = 300;
    return TestJpeg::Make(o);
}

// ---------------------------------------------------------------- photographs

namespace {

struct PhotoErrors {
    jpeg_error_mgr Public;
    std::jmp_buf Jump;
};

extern "C" void PhotoErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<PhotoErrors*>(cinfo->err)->Jump, 1); }

// Decodes at 1/8 scale into RGB; false when the codec refuses the file.
bool DecodeEighth(const Bytes& file, Bytes* rgb, int* width, int* height)
{
    PhotoErrors errors;
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof(cinfo));
    cinfo.err = jpeg_std_error(&errors.Public);
    errors.Public.error_exit = PhotoErrorExit;
    if (setjmp(errors.Jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    *width = static_cast<int>(cinfo.output_width);
    *height = static_cast<int>(cinfo.output_height);
    rgb->assign(static_cast<size_t>(*width) * *height * 3, 0);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rgb->data() + static_cast<size_t>(cinfo.output_scanline) * *width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

Bytes ReadFile(const std::string& path)
{
    Bytes bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

std::string FirstPhoto()
{
    for (const char* folder : {"/nature", "/desktop"}) {
        const std::string dir = SystemProbe::PhotoFolder() + folder;
        std::vector<std::string> names;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d)) {
                std::string name = e->d_name;
                if (name.size() > 4 && (name.substr(name.size() - 4) == ".jpg" || name.substr(name.size() - 4) == ".JPG"))
                    names.push_back(name);
            }
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        if (!names.empty()) return dir + "/" + names.front();
    }
    return std::string();
}

} // namespace

Bytes SmallPhoto(int width, int height, bool progressive)
{
    const std::string path = FirstPhoto();
    if (path.empty()) return Bytes();
    Bytes rgb;
    int fullWidth = 0, fullHeight = 0;
    if (!DecodeEighth(ReadFile(path), &rgb, &fullWidth, &fullHeight)) return Bytes();
    // The middle of the picture, where the detail is.
    const int w = std::min(width, fullWidth), h = std::min(height, fullHeight);
    const int x0 = (fullWidth - w) / 2, y0 = (fullHeight - h) / 2;
    TestJpeg::Options o;
    o.Width = w;
    o.Height = h;
    o.Subsampling = TestJpeg::S420;
    o.Progressive = progressive;
    o.Pixels.resize(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        std::memcpy(o.Pixels.data() + static_cast<size_t>(y) * w * 3,
                    rgb.data() + (static_cast<size_t>(y0 + y) * fullWidth + x0) * 3, static_cast<size_t>(w) * 3);
    return TestJpeg::Make(o);
}

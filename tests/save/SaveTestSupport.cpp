#include "SaveTestSupport.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <jpeglib.h>

#include "save/CKwFilterSaveJPEG.h"
#include "engine/KwHostDataObject.h"
#include "common/TestJpeg.h"

namespace {

struct TestErrorManager {
    jpeg_error_mgr Public;
    std::jmp_buf jump;
};

extern "C" void TestErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<TestErrorManager*>(cinfo->err)->jump, 1);
}

// setjmp frames hold nothing with a destructor; the results live in *out.
bool DecodeInto(jpeg_decompress_struct* cinfo, TestErrorManager* err, const Bytes* jpeg, int scaleDenom,
                DecodedJpeg* out)
{
    if (setjmp(err->jump)) return false;
    jpeg_mem_src(cinfo, jpeg->data(), static_cast<unsigned long>(jpeg->size()));
    jpeg_read_header(cinfo, TRUE);
    cinfo->out_color_space = JCS_RGB;
    cinfo->scale_num = 1;
    cinfo->scale_denom = static_cast<unsigned>(scaleDenom);
    jpeg_start_decompress(cinfo);
    out->width = static_cast<int>(cinfo->output_width);
    out->height = static_cast<int>(cinfo->output_height);
    out->rgb.resize(static_cast<size_t>(out->width) * out->height * 3);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = out->rgb.data() + static_cast<size_t>(cinfo->output_scanline) * out->width * 3;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

} // namespace

DecodedJpeg DecodeJpeg(const Bytes& jpeg, int scaleDenom)
{
    DecodedJpeg out;
    TestErrorManager err;
    jpeg_decompress_struct cinfo;
    cinfo.err = jpeg_std_error(&err.Public);
    err.Public.error_exit = TestErrorExit;
    jpeg_create_decompress(&cinfo);
    out.ok = DecodeInto(&cinfo, &err, &jpeg, scaleDenom, &out);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

Bytes EncodeDirect(const Bytes& rgb, int width, int height)
{
    Bytes result;
    if (!TestJpeg::EncodeReference(rgb, width, height, &result)) result.clear();
    return result;
}

Bytes ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

SaveSession::SaveSession(const Bytes& prefix)
{
    KwHostMemoryStream::Create(prefix, stream.Receive());
    LARGE_INTEGER end{};
    stream->Seek(end, STREAM_SEEK_END, nullptr);
    KwComPtr<KwHostDataObject> data;
    KwHostDataObject::Create(static_cast<IStream*>(stream.Get()), "out.jpg", data.Receive());
    KwCreateComObject<CKwFilterSaveJPEG>(nullptr, IID_IKwFilterSave, reinterpret_cast<void**>(filter.Receive()));
    KwComPtr<IUnknown> object;
    filter->CreateDocument(data.Get(), nullptr, object.Receive());
    KwQuery(object.Get(), structure.Receive());
    structure->CreateObject(KW_RASTER_BLOCK, EmptyVariant(), nullptr, object.Receive());
    KwQuery(object.Get(), raster.Receive());
}

#include "BenchCodec.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include <jpeglib.h>

namespace {

const std::size_t BlockSize = 4096;

struct BenchErrors {
    jpeg_error_mgr standard;
    std::jmp_buf jump;
};

extern "C" void BenchErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<BenchErrors*>(cinfo->err)->jump, 1);
}
extern "C" void BenchEmitMessage(j_common_ptr, int) {}

void InitErrors(BenchErrors* errors)
{
    jpeg_std_error(&errors->standard);
    errors->standard.error_exit = BenchErrorExit;
    errors->standard.emit_message = BenchEmitMessage;
}

// Source: the file in memory, handed over in copied 4096-byte blocks.
struct BlockSource {
    jpeg_source_mgr Public;
    const unsigned char* data;
    std::size_t size;
    std::size_t position;
    JOCTET buffer[BlockSize];
};

extern "C" void BlockInit(j_decompress_ptr) {}
extern "C" boolean BlockFill(j_decompress_ptr cinfo)
{
    BlockSource* src = reinterpret_cast<BlockSource*>(cinfo->src);
    std::size_t count = src->size - src->position;
    if (count > BlockSize) count = BlockSize;
    if (count == 0) {
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        count = 2;
    } else {
        std::memcpy(src->buffer, src->data + src->position, count);
        src->position += count;
    }
    src->Public.next_input_byte = src->buffer;
    src->Public.bytes_in_buffer = count;
    return TRUE;
}
extern "C" void BlockSkip(j_decompress_ptr cinfo, long count)
{
    BlockSource* src = reinterpret_cast<BlockSource*>(cinfo->src);
    if (count <= 0) return;
    std::size_t n = static_cast<std::size_t>(count);
    while (n > src->Public.bytes_in_buffer) {
        n -= src->Public.bytes_in_buffer;
        BlockFill(cinfo);
    }
    src->Public.next_input_byte += n;
    src->Public.bytes_in_buffer -= n;
}
extern "C" void BlockTerm(j_decompress_ptr) {}

void InstallBlockSource(j_decompress_ptr cinfo, BlockSource* src, const BenchBytes& file)
{
    src->Public.init_source = BlockInit;
    src->Public.fill_input_buffer = BlockFill;
    src->Public.skip_input_data = BlockSkip;
    src->Public.resync_to_restart = jpeg_resync_to_restart;
    src->Public.term_source = BlockTerm;
    src->Public.bytes_in_buffer = 0;
    src->Public.next_input_byte = nullptr;
    src->data = file.data();
    src->size = file.size();
    src->position = 0;
    cinfo->src = &src->Public;
}

// Each codec run sits under one setjmp with only plain data in its frame; the
// caller owns the codec objects and the buffers.
bool RunRawDecode(j_decompress_ptr cinfo, BenchErrors* errors, BlockSource* src, const BenchBytes& file,
                  BenchBytes* row, BenchRawDecode* result)
{
    if (setjmp(errors->jump)) return false;
    InstallBlockSource(cinfo, src, file);
    jpeg_read_header(cinfo, TRUE);
    cinfo->dct_method = JDCT_IFAST;
    cinfo->dither_mode = JDITHER_NONE;
    cinfo->quantize_colors = FALSE;
#ifdef JCS_EXTENSIONS
    if (cinfo->out_color_space == JCS_RGB) cinfo->out_color_space = JCS_EXT_BGR;
#endif
    jpeg_start_decompress(cinfo);
    const std::size_t rowSize = static_cast<std::size_t>(cinfo->output_width) * cinfo->output_components;
    if (row->size() < rowSize) row->resize(rowSize);
    JSAMPROW rows[1] = {row->data()};
    unsigned checksum = 0;
    while (cinfo->output_scanline < cinfo->output_height) {
        if (jpeg_read_scanlines(cinfo, rows, 1) != 1) return false;
        checksum = checksum * 31u + rows[0][0] + rows[0][rowSize - 1];
    }
    jpeg_finish_decompress(cinfo);
    result->width = static_cast<int>(cinfo->output_width);
    result->height = static_cast<int>(cinfo->output_height);
    result->components = cinfo->output_components;
    result->checksum = checksum;
    return true;
}

bool RunDecodeToRgb(j_decompress_ptr cinfo, BenchErrors* errors, const BenchBytes& file, bool gray, int* width,
                    int* height, BenchBytes* samples)
{
    if (setjmp(errors->jump)) return false;
    jpeg_mem_src(cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(cinfo, TRUE);
    cinfo->out_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(cinfo);
    const std::size_t rowSize = static_cast<std::size_t>(cinfo->output_width) * cinfo->output_components;
    samples->assign(rowSize * cinfo->output_height, 0);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = samples->data() + rowSize * cinfo->output_scanline;
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return false;
    }
    jpeg_finish_decompress(cinfo);
    *width = static_cast<int>(cinfo->output_width);
    *height = static_cast<int>(cinfo->output_height);
    return true;
}

} // namespace

bool BenchDecodeRaw(const BenchBytes& file, BenchRawDecode* result)
{
    // A row buffer and a source of its own for each decode, as the filter has.
    BenchBytes row;
    std::unique_ptr<BlockSource> source(new BlockSource());
    BenchErrors errors;
    InitErrors(&errors);
    jpeg_decompress_struct cinfo;
    cinfo.err = &errors.standard;
    jpeg_create_decompress(&cinfo);
    bool ok = RunRawDecode(&cinfo, &errors, source.get(), file, &row, result);
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

bool BenchDecodeToRgb(const BenchBytes& file, bool gray, int* width, int* height, BenchBytes* samples)
{
    BenchErrors errors;
    InitErrors(&errors);
    jpeg_decompress_struct cinfo;
    cinfo.err = &errors.standard;
    jpeg_create_decompress(&cinfo);
    bool ok = RunDecodeToRgb(&cinfo, &errors, file, gray, width, height, samples);
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

BenchBytes BenchReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return BenchBytes();
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    BenchBytes bytes(size > 0 ? static_cast<std::size_t>(size) : 0);
    if (!bytes.empty()) in.read(reinterpret_cast<char*>(bytes.data()), size);
    return bytes;
}

#include "TestJpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace {

// Building a test image must not fail; if it does the test program is wrong.
extern "C" void BuilderErrorExit(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    std::fprintf(stderr, "TestJpeg: cannot build the test image: %s\n", text);
    std::abort();
}

struct DecodeErrors {
    jpeg_error_mgr Public;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

extern "C" void DecodeErrorExit(j_common_ptr cinfo)
{
    DecodeErrors* errors = reinterpret_cast<DecodeErrors*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->Message);
    std::longjmp(errors->Jump, 1);
}

extern "C" void DecodeSilent(j_common_ptr, int) {}

// The whole decode under one setjmp; only plain data lives in this frame.
bool RunDecode(j_decompress_ptr cinfo, const unsigned char* data, unsigned long size, unsigned char** samples,
               std::size_t* sampleCount)
{
    DecodeErrors* errors = reinterpret_cast<DecodeErrors*>(cinfo->err);
    // As in the filter, an error met after the last row leaves a whole image.
    volatile bool allRows = false;
    if (setjmp(errors->Jump)) return allRows;
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, data, size);
    jpeg_read_header(cinfo, TRUE);
    cinfo->dct_method = JDCT_IFAST;
    cinfo->dither_mode = JDITHER_NONE;
    cinfo->quantize_colors = FALSE;
    jpeg_start_decompress(cinfo);
    const std::size_t rowSize = static_cast<std::size_t>(cinfo->output_width) * cinfo->output_components;
    *sampleCount = rowSize * cinfo->output_height;
    *samples = static_cast<unsigned char*>(std::calloc(*sampleCount ? *sampleCount : 1, 1));
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = *samples + rowSize * cinfo->output_scanline;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    allRows = true;
    jpeg_finish_decompress(cinfo);
    return true;
}


struct ReferenceErrors {
    jpeg_error_mgr Public;
    std::jmp_buf Jump;
};

extern "C" void ReferenceErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ReferenceErrors*>(cinfo->err)->Jump, 1);
}

const std::size_t ReferenceBlockSize = 4096;

// Destination: 4096-byte blocks appended to a memory sink.
struct BlockDestination {
    jpeg_destination_mgr Pub;
    TestJpeg::Bytes* Sink;
    JOCTET Buffer[ReferenceBlockSize];
};

extern "C" void BlockDestInit(j_compress_ptr cinfo)
{
    BlockDestination* dest = reinterpret_cast<BlockDestination*>(cinfo->dest);
    dest->Pub.next_output_byte = dest->Buffer;
    dest->Pub.free_in_buffer = ReferenceBlockSize;
}
extern "C" boolean BlockDestEmpty(j_compress_ptr cinfo)
{
    BlockDestination* dest = reinterpret_cast<BlockDestination*>(cinfo->dest);
    dest->Sink->insert(dest->Sink->end(), dest->Buffer, dest->Buffer + ReferenceBlockSize);
    dest->Pub.next_output_byte = dest->Buffer;
    dest->Pub.free_in_buffer = ReferenceBlockSize;
    return TRUE;
}
extern "C" void BlockDestTerm(j_compress_ptr cinfo)
{
    BlockDestination* dest = reinterpret_cast<BlockDestination*>(cinfo->dest);
    dest->Sink->insert(dest->Sink->end(), dest->Buffer, dest->Buffer + (ReferenceBlockSize - dest->Pub.free_in_buffer));
}

// The whole encode under one setjmp; only plain data lives in this frame.
bool RunReferenceEncode(j_compress_ptr cinfo, ReferenceErrors* errors, BlockDestination* dest,
                        const TestJpeg::Bytes& rgb, int width, int height)
{
    if (setjmp(errors->Jump)) return false;
    dest->Pub.init_destination = BlockDestInit;
    dest->Pub.empty_output_buffer = BlockDestEmpty;
    dest->Pub.term_destination = BlockDestTerm;
    cinfo->dest = &dest->Pub;
    cinfo->image_width = static_cast<JDIMENSION>(width);
    cinfo->image_height = static_cast<JDIMENSION>(height);
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, 75, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    const std::size_t rowSize = static_cast<std::size_t>(width) * 3;
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = const_cast<unsigned char*>(rgb.data()) + rowSize * cinfo->next_scanline;
        if (jpeg_write_scanlines(cinfo, &row, 1) != 1) return false;
    }
    jpeg_finish_compress(cinfo);
    return true;
}

} // namespace

TestJpeg::Bytes TestJpeg::Pattern(const Options& options)
{
    const int components = Components(options);
    Bytes pixels(static_cast<std::size_t>(options.Width) * options.Height * components);
    unsigned state = options.Seed * 2654435761u + 12345u;
    std::size_t i = 0;
    for (int y = 0; y < options.Height; ++y) {
        for (int x = 0; x < options.Width; ++x) {
            for (int c = 0; c < components; ++c) {
                state = state * 1103515245u + 12345u;
                int noise = static_cast<int>((state >> 16) & 31) - 16;
                int base = (x * 255 / (options.Width > 1 ? options.Width - 1 : 1)) * (c % 2 ? 1 : -1) +
                           (y * 255 / (options.Height > 1 ? options.Height - 1 : 1)) + c * 60 + 128;
                int v = ((base % 256) + 256) % 256 + noise;
                pixels[i++] = static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return pixels;
}

TestJpeg::Bytes TestJpeg::Make(const Options& options)
{
    const int components = Components(options);
    Bytes pixels = options.Pixels.empty() ? Pattern(options) : options.Pixels;
    if (pixels.size() != static_cast<std::size_t>(options.Width) * options.Height * components) {
        std::fprintf(stderr, "TestJpeg: %zu pixel bytes do not fit %dx%dx%d\n", pixels.size(), options.Width,
                     options.Height, components);
        std::abort();
    }

    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = BuilderErrorExit;
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);

    cinfo.image_width = static_cast<JDIMENSION>(options.Width);
    cinfo.image_height = static_cast<JDIMENSION>(options.Height);
    cinfo.input_components = components;
    cinfo.in_color_space = options.Kind == Gray  ? JCS_GRAYSCALE
                           : options.Kind == Rgb ? JCS_RGB
                           : options.Kind == Raw ? JCS_UNKNOWN
                                                 : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    if (options.Kind == Ycck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, options.Quality, TRUE);
    if (options.Kind == Rgb) {
        cinfo.comp_info[0].h_samp_factor = options.Subsampling == S444 ? 1 : 2;
        cinfo.comp_info[0].v_samp_factor = options.Subsampling == S420 ? 2 : 1;
        for (int c = 1; c < 3; ++c) {
            cinfo.comp_info[c].h_samp_factor = 1;
            cinfo.comp_info[c].v_samp_factor = 1;
        }
    }
    if (options.Kind == Cmyk || options.Kind == Ycck) {
        cinfo.write_Adobe_marker = options.AdobeMarker ? TRUE : FALSE;
    } else if (options.Kind != Raw) {
        cinfo.write_JFIF_header = options.JfifMarker ? TRUE : FALSE;
    }
    cinfo.density_unit = static_cast<UINT8>(options.DensityUnit);
    cinfo.X_density = static_cast<UINT16>(options.XDensity);
    cinfo.Y_density = static_cast<UINT16>(options.YDensity);
    if (options.Progressive) jpeg_simple_progression(&cinfo);
    if (options.Arithmetic) cinfo.arith_code = TRUE;
    if (options.RestartInterval > 0) cinfo.restart_interval = static_cast<unsigned int>(options.RestartInterval);

    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t rowSize = static_cast<std::size_t>(options.Width) * components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = pixels.data() + rowSize * cinfo.next_scanline;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

TestJpeg::Bytes TestJpeg::TablesOnly()
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = BuilderErrorExit;
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = 8;
    cinfo.image_height = 8;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_write_tables(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

std::size_t TestJpeg::ScanDataOffset(const Bytes& file)
{
    std::size_t pos = 2;
    while (pos + 4 <= file.size()) {
        if (file[pos] != 0xFF) return 0;
        const unsigned marker = file[pos + 1];
        const std::size_t length = (static_cast<std::size_t>(file[pos + 2]) << 8) | file[pos + 3];
        if (marker == 0xDA) return pos + 2 + length <= file.size() ? pos + 2 + length : 0;
        pos += 2 + length;
    }
    return 0;
}

TestJpeg::Bytes TestJpeg::Cut(const Bytes& file, std::size_t keep)
{
    return Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(keep < file.size() ? keep : file.size()));
}

TestJpeg::Decoded TestJpeg::Decode(const Bytes& file)
{
    Decoded result;
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof(cinfo));
    DecodeErrors errors;
    std::memset(&errors, 0, sizeof(errors));
    cinfo.err = jpeg_std_error(&errors.Public);
    errors.Public.error_exit = DecodeErrorExit;
    errors.Public.emit_message = DecodeSilent;
    unsigned char* samples = nullptr;
    std::size_t count = 0;
    const bool ok = RunDecode(&cinfo, file.data(), static_cast<unsigned long>(file.size()), &samples, &count);
    if (ok) {
        result.Ok = true;
        result.Width = static_cast<int>(cinfo.output_width);
        result.Height = static_cast<int>(cinfo.output_height);
        result.Components = cinfo.output_components;
        result.OutColorSpace = cinfo.out_color_space;
        result.SawAdobe = cinfo.saw_Adobe_marker != FALSE;
        result.DensityUnit = cinfo.density_unit;
        result.XDensity = cinfo.X_density;
        result.YDensity = cinfo.Y_density;
        result.Samples.assign(samples, samples + count);
    } else {
        result.Error = errors.Message;
    }
    std::free(samples);
    jpeg_destroy_decompress(&cinfo);
    return result;
}

TestJpeg::Bytes TestJpeg::HostRows(const Decoded& decoded, int* stride)
{
    const bool gray = decoded.Components == 1;
    const bool cmyk = decoded.OutColorSpace == JCS_CMYK;
    const int rowStride = Stride(decoded.Width, gray ? 8 : 24);
    if (stride) *stride = rowStride;
    Bytes rows(static_cast<std::size_t>(rowStride) * decoded.Height, 0);
    for (int y = 0; y < decoded.Height; ++y) {
        const unsigned char* in =
            decoded.Samples.data() + static_cast<std::size_t>(y) * decoded.Width * decoded.Components;
        unsigned char* out = rows.data() + static_cast<std::size_t>(y) * rowStride;
        for (int x = 0; x < decoded.Width; ++x) {
            const unsigned char* px = in + static_cast<std::size_t>(x) * decoded.Components;
            if (gray) {
                out[x] = px[0];
            } else if (cmyk) {
                int c = px[0], m = px[1], yy = px[2], k = px[3];
                if (decoded.SawAdobe) {
                    c = 255 - c;
                    m = 255 - m;
                    yy = 255 - yy;
                    k = 255 - k;
                }
                out[3 * x] = static_cast<unsigned char>((255 - yy) * (255 - k) / 255);
                out[3 * x + 1] = static_cast<unsigned char>((255 - m) * (255 - k) / 255);
                out[3 * x + 2] = static_cast<unsigned char>((255 - c) * (255 - k) / 255);
            } else {
                out[3 * x] = px[2];
                out[3 * x + 1] = px[1];
                out[3 * x + 2] = px[0];
            }
        }
    }
    return rows;
}

bool TestJpeg::EncodeReference(const Bytes& rgb, int width, int height, Bytes* out)
{
    BlockDestination destination;
    out->clear();
    destination.Sink = out;
    ReferenceErrors errors;
    jpeg_std_error(&errors.Public);
    errors.Public.error_exit = ReferenceErrorExit;
    errors.Public.emit_message = DecodeSilent;
    jpeg_compress_struct cinfo;
    cinfo.err = &errors.Public;
    jpeg_create_compress(&cinfo);
    const bool ok = RunReferenceEncode(&cinfo, &errors, &destination, rgb, width, height);
    jpeg_destroy_compress(&cinfo);
    return ok;
}

#include "KwSampleImage.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "KwPaths.h"

namespace {

struct SampleErrorManager {
    jpeg_error_mgr Public;
    jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

extern "C" void SampleErrorExit(j_common_ptr cinfo)
{
    SampleErrorManager* manager = reinterpret_cast<SampleErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->Message);
    longjmp(manager->Jump, 1);
}

void PatternRow(int y, int width, int height, unsigned char* row)
{
    static const unsigned char bars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                             {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    for (int x = 0; x < width; ++x) {
        unsigned char* p = row + 3 * x;
        if (y < height / 2) {
            const unsigned char* c = bars[(x * 8) / width];
            p[0] = c[0];
            p[1] = c[1];
            p[2] = c[2];
        } else if (y < height * 3 / 4) {
            p[0] = static_cast<unsigned char>(x * 255 / (width - 1));
            p[1] = static_cast<unsigned char>((y - height / 2) * 255 / (height / 4));
            p[2] = static_cast<unsigned char>(255 - x * 255 / (width - 1));
        } else {
            unsigned char gray = static_cast<unsigned char>(((x * 16) / width) * 17);
            p[0] = p[1] = p[2] = gray;
        }
    }
}

// One codec session; only trivially destructible locals live across setjmp.
bool Encode(FILE* file, int width, int height, unsigned char* row, SampleErrorManager& errors)
{
    jpeg_compress_struct cinfo;
    cinfo.err = jpeg_std_error(&errors.Public);
    errors.Public.error_exit = SampleErrorExit;
    if (setjmp(errors.Jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.density_unit = 1;
    cinfo.X_density = 300;
    cinfo.Y_density = 300;
    jpeg_start_compress(&cinfo, TRUE);
    static const char comment[] = "KwFilter_JPEG sample: colour bars, gradients and a gray ramp";
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(comment), sizeof comment - 1);
    while (cinfo.next_scanline < cinfo.image_height) {
        PatternRow(int(cinfo.next_scanline), width, height, row);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

bool KwSampleImage::Write(const std::string& path, int width, int height, std::string& error)
{
    if (width < 16 || height < 16 || width > 20000 || height > 20000) {
        error = "sample size must be between 16 and 20000 pixels a side";
        return false;
    }
    FILE* file = KwPaths::Open(path, "wb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    std::vector<unsigned char> row(size_t(width) * 3);
    SampleErrorManager errors;
    errors.Message[0] = '\0';
    bool ok = Encode(file, width, height, row.data(), errors);
    ok = (std::fclose(file) == 0) && ok;
    if (!ok) {
        error = errors.Message[0] ? errors.Message : "could not write the file";
        KwPaths::Remove(path);
    }
    return ok;
}

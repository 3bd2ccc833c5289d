/* Files for bench/decode_budget.sh that the codec's tools cannot write:
 *
 *   cmyk IN.ppm OUT.jpg
 *       baseline Adobe CMYK from an 8-bit PPM: C, M, Y = 255 - R, G, B and no
 *       black, so the picture stays a photograph.
 *   planes IN.jpg OUT.jpg [arithmetic]
 *       the same coefficients, progressive, one scan per coefficient and bit
 *       plane (DC interleaved): the most scans a conforming progression of the
 *       codec's encoder can have.
 *   dense WIDTH HEIGHT REPEATS AH OUT.jpg
 *       arithmetic-coded sequential 4:4:4 colour, every coefficient non-zero and
 *       large (quantiser 1), one scan per component; each scan header's Ah set
 *       to AH (the codec only warns about it) and the three scans written
 *       REPEATS times.
 *   costly WIDTH HEIGHT OUT.jpg
 *       the same coefficients, progressive, one coefficient a scan, each visited
 *       in as many first passes and refinements as the load filter's free
 *       count allows: the dearest file within its bound.
 *   empty WIDTH HEIGHT COMPONENTS ARITH[,RESTART] REPEATS OUT.jpg SCAN...
 *       a progressive frame whose scans hold no entropy data at all (the codec
 *       decodes what it has to from nothing); each SCAN is COMPS:SS:SE:AH:AL
 *       (COMPS a list of component indexes, e.g. 012), the list written REPEATS
 *       times. RESTART, when given, is the restart interval in MCUs (each
 *       restart resets the decoder's state: the dearest way to walk a block).
 *
 * Built by the script with the system compiler against libjpeg. */
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>

static void Fail(const char* what)
{
    fprintf(stderr, "decode_budget_craft: %s\n", what);
    exit(1);
}

static void Put(FILE* f, const unsigned char* bytes, size_t count)
{
    if (fwrite(bytes, 1, count, f) != count) Fail("write failed");
}

static void PutMarker(FILE* f, int marker, int length)
{
    const unsigned char b[4] = {0xFF, (unsigned char)marker, (unsigned char)(length >> 8), (unsigned char)length};
    Put(f, b, 4);
}

static int ReadPpmNumber(FILE* f)
{
    int c = fgetc(f), value = 0, digits = 0;
    while (c == '#' || c == ' ' || c == '\n' || c == '\r' || c == '\t') {
        if (c == '#')
            while (c != '\n' && c != EOF) c = fgetc(f);
        c = fgetc(f);
    }
    while (c >= '0' && c <= '9' && value < 1000000) {
        value = value * 10 + (c - '0');
        ++digits;
        c = fgetc(f);
    }
    if (!digits) Fail("bad PPM header");
    return value;
}

static int Cmyk(const char* in, const char* out)
{
    FILE* fin = fopen(in, "rb");
    FILE* fout = fopen(out, "wb");
    if (!fin || !fout) Fail("cannot open the files");
    if (fgetc(fin) != 'P' || fgetc(fin) != '6') Fail("not a binary PPM");
    const int width = ReadPpmNumber(fin), height = ReadPpmNumber(fin), maxval = ReadPpmNumber(fin);
    if (width < 1 || height < 1 || width > 65500 || height > 65500 || maxval != 255) Fail("unsupported PPM");

    struct jpeg_compress_struct cinfo;
    struct jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, fout);
    cinfo.image_width = (JDIMENSION)width;
    cinfo.image_height = (JDIMENSION)height;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    unsigned char* rgb = malloc((size_t)width * 3);
    unsigned char* row = malloc((size_t)width * 4);
    if (!rgb || !row) Fail("out of memory");
    while (cinfo.next_scanline < cinfo.image_height) {
        if (fread(rgb, 3, (size_t)width, fin) != (size_t)width) Fail("PPM cut short");
        for (int x = 0; x < width; ++x) {
            /* Adobe CMYK is stored inverted: 255 is no ink. */
            row[4 * x] = rgb[3 * x];
            row[4 * x + 1] = rgb[3 * x + 1];
            row[4 * x + 2] = rgb[3 * x + 2];
            row[4 * x + 3] = 255;
        }
        JSAMPROW r = row;
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    free(rgb);
    free(row);
    fclose(fin);
    if (fclose(fout) != 0) Fail("write failed");
    return 0;
}

static int Planes(const char* in, const char* out, int arith)
{
    FILE* fin = fopen(in, "rb");
    FILE* fout = fopen(out, "wb");
    if (!fin || !fout) Fail("cannot open the files");
    struct jpeg_decompress_struct src;
    struct jpeg_compress_struct dst;
    struct jpeg_error_mgr srcErr, dstErr;
    src.err = jpeg_std_error(&srcErr);
    jpeg_create_decompress(&src);
    dst.err = jpeg_std_error(&dstErr);
    jpeg_create_compress(&dst);
    jpeg_stdio_src(&src, fin);
    jpeg_read_header(&src, TRUE);
    jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&src);
    jpeg_copy_critical_parameters(&src, &dst);

    /* The encoder's limit on Al for 8-bit samples is 10: 11 bit planes. */
    const int planes = 11;
    const int components = dst.num_components;
    const int count = planes + components * 63 * planes;
    jpeg_scan_info* scans = calloc((size_t)count, sizeof(jpeg_scan_info));
    if (!scans) Fail("out of memory");
    int n = 0;
    for (int al = planes - 1; al >= 0; --al) {
        scans[n].comps_in_scan = components;
        for (int c = 0; c < components; ++c) scans[n].component_index[c] = c;
        scans[n].Ss = scans[n].Se = 0;
        scans[n].Ah = al == planes - 1 ? 0 : al + 1;
        scans[n].Al = al;
        ++n;
    }
    for (int c = 0; c < components; ++c)
        for (int k = 1; k < 64; ++k)
            for (int al = planes - 1; al >= 0; --al) {
                scans[n].comps_in_scan = 1;
                scans[n].component_index[0] = c;
                scans[n].Ss = scans[n].Se = k;
                scans[n].Ah = al == planes - 1 ? 0 : al + 1;
                scans[n].Al = al;
                ++n;
            }
    dst.scan_info = scans;
    dst.num_scans = n;
    dst.arith_code = arith ? TRUE : FALSE;
    jpeg_stdio_dest(&dst, fout);
    jpeg_write_coefficients(&dst, coefficients);
    jpeg_finish_compress(&dst);
    jpeg_destroy_compress(&dst);
    jpeg_finish_decompress(&src);
    jpeg_destroy_decompress(&src);
    free(scans);
    fclose(fin);
    if (fclose(fout) != 0) Fail("write failed");
    fprintf(stderr, "%d scans\n", n);
    return 0;
}

/* The codec's own arithmetic-coded 4:4:4 colour file of the given scans, in
 * memory: every coefficient non-zero and large (quantiser 1), the most
 * decisions per coefficient. */
static void DenseFile(int width, int height, jpeg_scan_info* scans, int count, unsigned char** file,
                      unsigned long* size)
{
    if (width < 8 || height < 8 || width > 16000 || height > 16000) Fail("bad size");
    struct jpeg_compress_struct cinfo;
    struct jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, file, size);
    cinfo.image_width = (JDIMENSION)width;
    cinfo.image_height = (JDIMENSION)height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_YCbCr;
    jpeg_set_defaults(&cinfo);
    cinfo.arith_code = TRUE;
    unsigned int ones[64];
    for (int k = 0; k < 64; ++k) ones[k] = 1;
    for (int q = 0; q < 2; ++q) jpeg_add_quant_table(&cinfo, q, ones, 100, TRUE);
    for (int c = 0; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    cinfo.scan_info = scans;
    cinfo.num_scans = count;
    const JDIMENSION blocksWide = (JDIMENSION)(width + 7) / 8, blocksHigh = (JDIMENSION)(height + 7) / 8;
    jvirt_barray_ptr arrays[3];
    for (int c = 0; c < 3; ++c)
        arrays[c] = (*cinfo.mem->request_virt_barray)((j_common_ptr)&cinfo, JPOOL_IMAGE, FALSE, blocksWide,
                                                       blocksHigh, 1);
    jpeg_write_coefficients(&cinfo, arrays);
    unsigned int seed = 12345;
    for (int c = 0; c < 3; ++c)
        for (JDIMENSION y = 0; y < blocksHigh; ++y) {
            JBLOCKARRAY row = (*cinfo.mem->access_virt_barray)((j_common_ptr)&cinfo, arrays[c], y, 1, TRUE);
            for (JDIMENSION x = 0; x < blocksWide; ++x)
                for (int k = 0; k < 64; ++k) {
                    seed = seed * 1103515245u + 12345u;
                    const int magnitude = 512 + (int)((seed >> 16) % 511);
                    row[0][x][k] = (JCOEF)((seed >> 8) & 1 ? magnitude : -magnitude);
                }
        }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
}

/* Splits the codec's file into its header (before the first scan), count scans
 * (each its conditioning DAC, its SOS and its data) and the end marker:
 * starts[0..count] and sos[0..count-1] are offsets into the file. */
static void SplitScans(const unsigned char* file, unsigned long size, size_t* starts, size_t* sos, int count)
{
    int n = 0, afterDac = 0;
    size_t end = 0;
    for (size_t i = 2; i + 1 < size; ++i) {
        if (file[i] != 0xFF) continue;
        const int m = file[i + 1];
        if (m == 0x00 || m == 0xFF || (m >= 0xD0 && m <= 0xD7)) continue;
        if (m == 0xD9) {
            end = i;
            break;
        }
        if ((n > 0 && m != 0xCC && m != 0xDA) || i + 3 >= size) Fail("unexpected marker between the scans");
        if (m == 0xCC || (m == 0xDA && !afterDac)) {
            if (n == count) Fail("more scans than written");
            starts[n++] = i;
        }
        if (m == 0xDA) sos[n - 1] = i;
        afterDac = m == 0xCC;
        /* On to the last byte of the marker segment. */
        i += 1 + ((size_t)file[i + 2] << 8 | file[i + 3]);
    }
    if (n != count || end == 0) Fail("unexpected layout of the codec's file");
    starts[count] = end;
}

/* Sequential, one scan per component; each scan header's Ah patched, the three scans written repeats times. */
static int Dense(int width, int height, int repeats, int ah, const char* out)
{
    if (repeats < 1 || repeats > 10000 || ah < 0 || ah > 13) Fail("bad dense arguments");
    jpeg_scan_info scans[3];
    memset(scans, 0, sizeof(scans));
    for (int c = 0; c < 3; ++c) {
        scans[c].comps_in_scan = 1;
        scans[c].component_index[0] = c;
        scans[c].Se = 63;
    }
    unsigned char* file = NULL;
    unsigned long size = 0;
    DenseFile(width, height, scans, 3, &file, &size);
    size_t starts[4], sos[3];
    SplitScans(file, size, starts, sos, 3);
    for (int s = 0; s < 3; ++s) {
        const size_t headerEnd = sos[s] + 2 + ((size_t)file[sos[s] + 2] << 8 | file[sos[s] + 3]);
        file[headerEnd - 1] = (unsigned char)(ah << 4); /* Ah, Al = 0 */
    }
    FILE* fout = fopen(out, "wb");
    if (!fout) Fail("cannot open the output");
    Put(fout, file, starts[0]);
    for (int r = 0; r < repeats; ++r)
        for (int s = 0; s < 3; ++s) Put(fout, file + starts[s], starts[s + 1] - starts[s]);
    Put(fout, file + starts[3], size - starts[3]);
    free(file);
    if (fclose(fout) != 0) Fail("write failed");
    return 0;
}

/* Progressive, one coefficient per scan: each coefficient of each component
 * in its first pass (full magnitudes but the last bit) twice and its
 * refinement fourteen times, every visit the free count allows, each scan
 * walking every block for one coefficient. */
static int Costly(int width, int height, const char* out)
{
    enum { Count = 3 * 64 * 2, FirstPasses = 2, Refinements = 14 };
    jpeg_scan_info scans[Count];
    memset(scans, 0, sizeof(scans));
    int n = 0;
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 64; ++k)
            for (int refine = 0; refine < 2; ++refine) {
                scans[n].comps_in_scan = 1;
                scans[n].component_index[0] = c;
                scans[n].Ss = scans[n].Se = k;
                scans[n].Ah = refine;
                scans[n].Al = 1 - refine;
                ++n;
            }
    unsigned char* file = NULL;
    unsigned long size = 0;
    DenseFile(width, height, scans, Count, &file, &size);
    size_t starts[Count + 1], sos[Count];
    SplitScans(file, size, starts, sos, Count);
    FILE* fout = fopen(out, "wb");
    if (!fout) Fail("cannot open the output");
    Put(fout, file, starts[0]);
    for (int s = 0; s < Count; s += 2) {
        for (int r = 0; r < FirstPasses; ++r) Put(fout, file + starts[s], starts[s + 1] - starts[s]);
        for (int r = 0; r < Refinements; ++r) Put(fout, file + starts[s + 1], starts[s + 2] - starts[s + 1]);
    }
    Put(fout, file + starts[Count], size - starts[Count]);
    free(file);
    if (fclose(fout) != 0) Fail("write failed");
    return 0;
}

static int Empty(int argc, char** argv)
{
    const int width = atoi(argv[2]), height = atoi(argv[3]), components = atoi(argv[4]), arith = atoi(argv[5]),
              repeats = atoi(argv[6]);
    const char* restartText = strchr(argv[5], ',');
    const int restart = restartText ? atoi(restartText + 1) : 0;
    const char* out = argv[7];
    if (restart < 0 || restart > 65535) Fail("bad restart interval");
    if (width < 1 || height < 1 || width > 65500 || height > 65500 || components < 1 || components > 4 ||
        repeats < 1 || repeats > 100000)
        Fail("bad empty arguments");
    FILE* f = fopen(out, "wb");
    if (!f) Fail("cannot open the output");
    const unsigned char soi[2] = {0xFF, 0xD8};
    Put(f, soi, 2);
    PutMarker(f, 0xDB, 67);
    unsigned char q[65];
    q[0] = 0;
    memset(q + 1, 1, 64);
    Put(f, q, 65);
    PutMarker(f, arith ? 0xCA : 0xC2, 8 + 3 * components);
    const unsigned char frame[6] = {8, (unsigned char)(height >> 8), (unsigned char)height,
                                    (unsigned char)(width >> 8), (unsigned char)width, (unsigned char)components};
    Put(f, frame, 6);
    for (int c = 0; c < components; ++c) {
        const unsigned char comp[3] = {(unsigned char)(c + 1), 0x11, 0};
        Put(f, comp, 3);
    }
    if (!arith) {
        /* A DC table of the standard luminance lengths, and an AC table of one code (end of band). */
        PutMarker(f, 0xC4, 31);
        const unsigned char dc[29] = {0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0,
                                      0,    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        Put(f, dc, 29);
        PutMarker(f, 0xC4, 20);
        const unsigned char ac[18] = {0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00};
        Put(f, ac, 18);
    }
    if (restart > 0) {
        PutMarker(f, 0xDD, 4);
        const unsigned char interval[2] = {(unsigned char)(restart >> 8), (unsigned char)restart};
        Put(f, interval, 2);
    }
    for (int r = 0; r < repeats; ++r)
        for (int i = 8; i < argc; ++i) {
            char comps[8];
            int ss, se, ah, al;
            if (sscanf(argv[i], "%7[0-9]:%d:%d:%d:%d", comps, &ss, &se, &ah, &al) != 5) Fail("bad scan");
            const int n = (int)strlen(comps);
            PutMarker(f, 0xDA, 6 + 2 * n);
            const unsigned char count = (unsigned char)n;
            Put(f, &count, 1);
            for (int c = 0; c < n; ++c) {
                const unsigned char sel[2] = {(unsigned char)(comps[c] - '0' + 1), 0x00};
                Put(f, sel, 2);
            }
            const unsigned char band[3] = {(unsigned char)ss, (unsigned char)se, (unsigned char)(ah << 4 | al)};
            Put(f, band, 3);
        }
    const unsigned char eoi[2] = {0xFF, 0xD9};
    Put(f, eoi, 2);
    if (fclose(f) != 0) Fail("write failed");
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], "cmyk") == 0) return Cmyk(argv[2], argv[3]);
    if ((argc == 4 || argc == 5) && strcmp(argv[1], "planes") == 0)
        return Planes(argv[2], argv[3], argc == 5 && strcmp(argv[4], "arithmetic") == 0);
    if (argc == 7 && strcmp(argv[1], "dense") == 0)
        return Dense(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), argv[6]);
    if (argc == 5 && strcmp(argv[1], "costly") == 0) return Costly(atoi(argv[2]), atoi(argv[3]), argv[4]);
    if (argc >= 9 && strcmp(argv[1], "empty") == 0) return Empty(argc, argv);
    fprintf(stderr, "usage: decode_budget_craft cmyk IN.ppm OUT.jpg | planes IN.jpg OUT.jpg [arithmetic] |\n"
                    "       dense WIDTH HEIGHT REPEATS AH OUT.jpg | costly WIDTH HEIGHT OUT.jpg |\n"
                    "       empty WIDTH HEIGHT COMPONENTS ARITH[,RESTART] REPEATS OUT.jpg COMPS:SS:SE:AH:AL...\n");
    return 2;
}

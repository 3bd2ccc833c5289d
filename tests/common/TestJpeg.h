// Test images made with the libjpeg API (gray, RGB with 4:4:4, 4:2:2 and 4:2:0,
// CMYK and YCCK with or without the Adobe marker, progressive, arithmetic,
// restart markers, JFIF densities or no JFIF marker, tables-only streams, files
// cut short), and libjpeg's own decode of a file with the load filter's settings
// and encode with the save filter's, to compare against.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class TestJpeg {
public:
    typedef std::vector<unsigned char> Bytes;

    // Raw: RawComponents components with no colour space (JCS_UNKNOWN), which
    // decode to no colour space of the codec's either.
    enum Color { Gray, Rgb, Cmyk, Ycck, Raw };
    enum Sampling { S444, S422, S420 };

    struct Options {
        int Width = 16;
        int Height = 16;
        Color Kind = Rgb;
        Sampling Subsampling = S444; // colour files only: the luma sampling
        bool AdobeMarker = true;     // CMYK and YCCK: write the APP14 marker
        bool Progressive = false;
        bool Arithmetic = false;
        int RestartInterval = 0;     // in MCUs; 0: none
        bool JfifMarker = true;      // gray and RGB: write the JFIF APP0 marker
        int DensityUnit = 0;
        int XDensity = 1;
        int YDensity = 1;
        int RawComponents = 2;
        int Quality = 85;
        unsigned Seed = 1;           // varies the default pixel pattern
        Bytes Pixels;                // Width*Height*Components() samples; empty: a pattern
    };

    static int Components(const Options& options)
    {
        return options.Kind == Gray ? 1 : options.Kind == Rgb ? 3 : options.Kind == Raw ? options.RawComponents : 4;
    }

    // A whole JPEG file; aborts the test program if the codec refuses the options.
    static Bytes Make(const Options& options);
    // The default pixels of Make: smooth gradients with some texture.
    static Bytes Pattern(const Options& options);
    // An abbreviated stream holding only tables (SOI, DQT, DHT, EOI), no frame.
    static Bytes TablesOnly();
    // Offset of the first entropy-coded byte (right after the first SOS header); 0 if none.
    static std::size_t ScanDataOffset(const Bytes& file);
    // The first keep bytes of file.
    static Bytes Cut(const Bytes& file, std::size_t keep);

    struct Decoded {
        bool Ok = false;
        std::string Error;       // the codec's message when not Ok
        int Width = 0;
        int Height = 0;
        int Components = 0;      // output components
        int OutColorSpace = 0;   // J_COLOR_SPACE
        bool SawAdobe = false;
        int DensityUnit = 0;
        int XDensity = 0;
        int YDensity = 0;
        Bytes Samples;           // Height rows of Width*Components samples, top row first
    };
    // libjpeg's decode with the load filter's settings (fast integer IDCT, no
    // dithering, default output colour space), fed the file as the filter feeds
    // it: all bytes but the last, then end-of-image markers.
    static Decoded Decode(const Bytes& file);

    // The rows a host raster block must receive for a decode: gray samples as
    // palette indices; RGB as B, G, R; CMYK (inverted first when SawAdobe) as
    // B, G, R. Rows are padded with zeros to a multiple of 4 bytes.
    static Bytes HostRows(const Decoded& decoded, int* stride);

    // The codec's own encode of packed R, G, B rows with the settings the save
    // filter promises (defaults, quality 75, baseline), written through a
    // 4096-byte block destination into *out; false if the codec failed.
    static bool EncodeReference(const Bytes& rgb, int width, int height, Bytes* out);
    static int Stride(int width, int bitsPerPixel) { return ((width * bitsPerPixel + 31) / 32) * 4; }
};

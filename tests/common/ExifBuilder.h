// Builds EXIF blocks byte by byte for tests: either byte order, any number of
// directories (IFD0, sub-directories, chained next directories), entries of
// every format, and raw fields for hostile cases. Also wraps a block in an
// APP1 section and puts a minimal JPEG header around it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ExifBuilder {
public:
    typedef std::vector<unsigned char> Bytes;

    enum Format : uint16_t {
        Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5, SByte = 6,
        Undefined = 7, SShort = 8, SLong = 9, SRational = 10, Float = 11, Double = 12,
    };

    // Directory 0 (IFD0) exists from the start.
    explicit ExifBuilder(bool motorola = false);

    int AddDirectory();

    // Typed entries; the value is placed in the entry or after the directory
    // as its size requires. Each returns *this for chaining.
    ExifBuilder& AddAscii(int dir, uint16_t tag, const std::string& text); // count includes the NUL
    ExifBuilder& AddByte(int dir, uint16_t tag, uint8_t value);
    ExifBuilder& AddSByte(int dir, uint16_t tag, int8_t value);
    ExifBuilder& AddShort(int dir, uint16_t tag, uint16_t value);
    ExifBuilder& AddSShort(int dir, uint16_t tag, int16_t value);
    ExifBuilder& AddLong(int dir, uint16_t tag, uint32_t value);
    ExifBuilder& AddSLong(int dir, uint16_t tag, int32_t value);
    ExifBuilder& AddRational(int dir, uint16_t tag, uint32_t numerator, uint32_t denominator);
    ExifBuilder& AddSRational(int dir, uint16_t tag, int32_t numerator, int32_t denominator);
    ExifBuilder& AddFloat(int dir, uint16_t tag, float value);
    ExifBuilder& AddDouble(int dir, uint16_t tag, double value);
    ExifBuilder& AddUndefined(int dir, uint16_t tag, const Bytes& value);
    // Any format and count with the value bytes given in block order.
    ExifBuilder& AddValue(int dir, uint16_t tag, uint16_t format, uint32_t count, const Bytes& value);
    // An entry whose four value bytes are `valueField` as written, whatever the
    // format and count say (offsets that point anywhere, counts that lie).
    ExifBuilder& AddRaw(int dir, uint16_t tag, uint16_t format, uint32_t count, uint32_t valueField);
    // A LONG entry holding the offset of directory `child` (0x8769, 0xA005, ...).
    ExifBuilder& AddLink(int dir, uint16_t tag, int child);

    ExifBuilder& SetNext(int dir, int next);              // the next-directory link
    ExifBuilder& SetNextRaw(int dir, uint32_t offset);    // a next link as written
    // The first-directory offset of the header. IFD0 is placed there when it is
    // 8 to 65535 (padding in between), else right after the header.
    ExifBuilder& SetFirstOffset(uint32_t offset);
    // Bytes appended after the last directory (to place things at the end).
    ExifBuilder& SetTrailer(const Bytes& trailer);

    uint32_t DirectoryOffset(int dir) const; // in the TIFF block, after layout
    uint32_t TrailerOffset() const;
    Bytes Tiff() const;                      // the TIFF block
    Bytes Payload() const;                   // "Exif\0\0" + the TIFF block

    // Numbers in this builder's byte order.
    Bytes U16(uint16_t v) const;
    Bytes U32(uint32_t v) const;

    // FF E1, length, payload.
    static Bytes App1(const Bytes& payload);
    // SOI, the given sections, then DQT, SOF0 (width x height, `components`),
    // DHT and SOS headers: enough for the section scanner, not for a decoder.
    static Bytes MinimalJpeg(const Bytes& sections, uint16_t width = 64, uint16_t height = 48, int components = 3);
    // A real JPEG file with `sections` (e.g. an APP1) inserted right after SOI.
    static Bytes InsertAfterSoi(const Bytes& jpeg, const Bytes& sections);
    // A marker section: FF, code, length (payload + 2, big-endian), payload.
    static Bytes Section(uint8_t code, const Bytes& payload);

private:
    struct Entry {
        uint16_t Tag;
        uint16_t Format;
        uint32_t Count;
        Bytes Value;     // block order; inline when 4 bytes or fewer
        bool Raw;        // value field written as rawField
        uint32_t RawField;
        int LinkTo;      // >= 0: value field is that directory's offset
    };
    struct Directory {
        std::vector<Entry> Entries;
        int Next = -1;
        bool NextRaw = false;
        uint32_t NextField = 0;
    };

    void Layout(std::vector<uint32_t>& offsets, uint32_t& end) const;
    static uint32_t DirectorySize(const Directory& d);

    bool m_Motorola;
    uint32_t m_FirstOffset = 8;
    std::vector<Directory> m_Dirs;
    Bytes m_Trailer;
};

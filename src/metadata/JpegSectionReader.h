// Reads the header of a JPEG file into marker sections and a JpegMetadata
// record, without the codec: frame size from the SOFn section, the first
// comment, and the EXIF block of the first APP1 section. Stops at the start of
// scan or right after the first APP1 section; never reads entropy-coded data.
#pragma once

#include <cstdint>

#include "JpegMetadata.h"
#include "JpegSection.h"
#include "com/KwMemory.h"
#include "KwPlatform.h"

class JpegSectionReader {
public:
    static constexpr int MaxSections = 20;
    // Bound on the EXIF directories walked for one block; it also bounds the
    // depth of the walk, whatever the links of a file say.
    static constexpr int MaxExifDirectories = 32;

    // With a record: fills it and leaves it to the caller (who zero-fills it
    // first). Without: allocates a zero-filled record of its own and frees it
    // on destruction; Metadata is null if that allocation failed.
    explicit JpegSectionReader(JpegMetadata* metadata = nullptr) noexcept;
    ~JpegSectionReader() = default;
    JpegSectionReader(const JpegSectionReader&) = delete;
    JpegSectionReader& operator=(const JpegSectionReader&) = delete;

    // Scans the stream from its current position (the first byte of the file).
    // True when the scan reached the start of scan or the first APP1 section;
    // false on an error, with its text in ErrorText (some failures leave no text).
    bool ReadSections(IStream* stream) noexcept;

    // EXIF block of an APP1 section: payload = the bytes after the length field,
    // beginning with "Exif\0\0". The user comment is trimmed in place.
    bool ParseExif(unsigned char* payload, uint32_t payloadLength) noexcept;

    JpegMetadata* Metadata;
    char ErrorText[256];          // the last failure, or the orientation warning
    int32_t ExifPixelDimension;   // largest EXIF pixel dimension seen
    int32_t ExifMotorolaOrder;    // 1: the EXIF block is big-endian ("MM")
    JpegSection Sections[MaxSections];
    int32_t SectionCount;
    bool OwnsMetadata;

private:
    // Walks the directory at `directoryOffset` of the TIFF block and the
    // directories it links to.
    bool ParseExifDirectory(uint32_t directoryOffset, unsigned char* tiff, uint32_t tiffLength) noexcept;
    // The first component of a value as a number; the caller guarantees that
    // the component lies inside the block.
    double ConvertExifValue(const unsigned char* value, int format) const noexcept;
    // Reads in the block's byte order.
    unsigned Get16u(const unsigned char* at) const noexcept;
    int32_t Get32s(const unsigned char* at) const noexcept;
    uint32_t Get32u(const unsigned char* at) const noexcept;
    unsigned char ReadByte(IStream* stream) noexcept;
    uint32_t ReadFully(IStream* stream, unsigned char* into, uint32_t count) noexcept;
    void DiscardLastSection() noexcept;
    void ProcessFrameHeader(const JpegSection& section) noexcept;
    void ProcessComment(const JpegSection& section) noexcept;
    void SetError(const char* text) noexcept;
    // imageDirectory: the tag is in the first directory, the one that describes the image.
    void ApplyExifTag(unsigned tag, int format, unsigned char* value, uint32_t byteCount, bool imageDirectory,
                      uint32_t* thumbnailOffset, uint32_t* thumbnailLength) noexcept;
    void CopyUserComment(unsigned char* value, uint32_t byteCount) noexcept;

    // The blocks behind Sections[i].Data (a borrowed view of each), and the
    // record of the owning mode.
    KwBuffer<unsigned char> m_SectionData[MaxSections];
    KwBuffer<JpegMetadata> m_OwnedMetadata; // one record
    bool m_CommentSeen = false;
    // Directories entered during the current ParseExif, to refuse cycles.
    uint32_t m_VisitedDirectories[MaxExifDirectories] = {};
    int m_VisitedCount = 0;
};

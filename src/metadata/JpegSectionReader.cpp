// The marker section scanner. The EXIF half lives in JpegSectionReaderExif.cpp.
#include "JpegSectionReader.h"

#include <cstdio>
#include <cstring>

#include "com/KwMemory.h"

namespace {

// What a single-byte read yields when the stream has no more data. A fill byte
// keeps every path finite: where a marker code is expected the scan ends at the
// fill limit, and inside a length field the length becomes large and the body
// read reports "Premature end of file?".
const unsigned char EndOfStreamByte = 0xFF;

// The marker's own 0xFF and any fill bytes before the code, together.
const int MaxMarkerPrefixBytes = 7;

const int MarkerPrefix = 0xFF;
const int MarkerSoi = 0xD8;
const int MarkerEoi = 0xD9;
const int MarkerSos = 0xDA;
const int MarkerApp0 = 0xE0;
const int MarkerApp1 = 0xE1;
const int MarkerCom = 0xFE;

// Longest stretch of a COM section that contributes to the comment, counted
// from the start of the section (its length bytes included).
const int CommentSectionLimit = 1000;

bool IsFrameHeader(int marker)
{
    switch (marker) {
    case 0xC0: case 0xC1: case 0xC2: case 0xC3:
    case 0xC5: case 0xC6: case 0xC7:
    case 0xC9: case 0xCA: case 0xCB:
    case 0xCD: case 0xCE: case 0xCF:
        return true;
    default:
        return false;
    }
}

unsigned BigEndian16(const unsigned char* at) { return (unsigned(at[0]) << 8) | at[1]; }

} // namespace

JpegSectionReader::JpegSectionReader(JpegMetadata* metadata) noexcept
    : Metadata(metadata), ExifPixelDimension(0), ExifMotorolaOrder(0), SectionCount(0), OwnsMetadata(false)
{
    ErrorText[0] = '\0';
    std::memset(Sections, 0, sizeof(Sections));
    if (!Metadata) {
        m_OwnedMetadata = KwAllocateBuffer<JpegMetadata>(1);
        Metadata = m_OwnedMetadata.get();
        if (Metadata) {
            std::memset(Metadata, 0, sizeof(JpegMetadata));
            OwnsMetadata = true;
        }
    }
}

void JpegSectionReader::SetError(const char* text) noexcept
{
    std::snprintf(ErrorText, sizeof(ErrorText), "%s", text);
}

unsigned char JpegSectionReader::ReadByte(IStream* stream) noexcept
{
    unsigned char byte = 0;
    ULONG got = 0;
    HRESULT hr = stream->Read(&byte, 1, &got);
    if (FAILED(hr) || got != 1) return EndOfStreamByte;
    return byte;
}

// A stream may hand over fewer bytes than asked before its end; keep asking
// until the count is reached or a read brings nothing.
uint32_t JpegSectionReader::ReadFully(IStream* stream, unsigned char* into, uint32_t count) noexcept
{
    uint32_t total = 0;
    while (total < count) {
        ULONG got = 0;
        HRESULT hr = stream->Read(into + total, count - total, &got);
        if (got > count - total) got = count - total; // never trust a count beyond the request
        total += got;
        if (FAILED(hr) || got == 0) break;
    }
    return total;
}

void JpegSectionReader::DiscardLastSection() noexcept
{
    --SectionCount;
    JpegSection& section = Sections[SectionCount];
    m_SectionData[SectionCount].reset();
    section.Data = nullptr;
    section.Type = 0;
    section.Length = 0;
}

void JpegSectionReader::ProcessFrameHeader(const JpegSection& section) noexcept
{
    // Precision (offset 2), height, width, component count (offset 7): a header
    // too short for them all is ignored rather than read past its end.
    if (section.Length < 8) return;
    Metadata->ImageHeight = static_cast<int32_t>(BigEndian16(section.Data + 3));
    Metadata->ImageWidth = static_cast<int32_t>(BigEndian16(section.Data + 5));
    Metadata->IsColor = section.Data[7] == 3 ? 1 : 0;
    Metadata->FrameMarker = section.Type;
}

void JpegSectionReader::ProcessComment(const JpegSection& section) noexcept
{
    const int length = section.Length;
    const int limit = length < CommentSectionLimit ? length : CommentSectionLimit;
    char text[CommentSectionLimit];
    int out = 0;
    for (int i = 2; i < limit; ++i) {
        const unsigned char c = section.Data[i];
        if (c == '\r' && i + 1 < length && section.Data[i + 1] == '\n') continue; // CR LF becomes LF
        if (c >= 0x20 || c == '\n' || c == '\t')
            text[out++] = static_cast<char>(c);
        else
            text[out++] = '?';
    }
    text[out] = '\0';
    std::memcpy(Metadata->Comment, text, static_cast<size_t>(out) + 1);
}

bool JpegSectionReader::ReadSections(IStream* stream) noexcept
{
    if (!stream) return false;
    if (!Metadata) {
        SetError("Could not allocate memory");
        return false;
    }
    if (ReadByte(stream) != MarkerPrefix) return false;
    if (ReadByte(stream) != MarkerSoi) return false;

    for (;;) {
        if (SectionCount >= MaxSections) {
            SetError("Too many sections in jpg file");
            return false;
        }

        int marker = MarkerPrefix;
        for (int i = 0; i < MaxMarkerPrefixBytes && marker == MarkerPrefix; ++i) marker = ReadByte(stream);
        if (marker == MarkerPrefix) {
            std::fputs("too many padding unsigned chars\n", stdout);
            std::fflush(stdout);
            return false;
        }

        JpegSection& section = Sections[SectionCount];
        section.Type = marker;
        const unsigned high = ReadByte(stream);
        const unsigned low = ReadByte(stream);
        const int32_t length = static_cast<int32_t>((high << 8) | low);
        if (length < 2) {
            SetError("invalid marker");
            return false;
        }
        section.Length = length;
        m_SectionData[SectionCount] = KwAllocateBuffer<unsigned char>(static_cast<size_t>(length));
        section.Data = m_SectionData[SectionCount].get();
        if (!section.Data) {
            SetError("Could not allocate memory");
            return false;
        }
        section.Data[0] = static_cast<unsigned char>(high);
        section.Data[1] = static_cast<unsigned char>(low);
        const uint32_t bodyLength = static_cast<uint32_t>(length - 2);
        if (ReadFully(stream, section.Data + 2, bodyLength) != bodyLength) {
            SetError("Premature end of file?");
            return false;
        }
        ++SectionCount;

        if (IsFrameHeader(marker)) {
            ProcessFrameHeader(section);
            continue;
        }
        switch (marker) {
        case MarkerEoi:
            return false;
        case MarkerSos:
            return true;
        case MarkerApp0:
            DiscardLastSection();
            break;
        case MarkerApp1:
            if (bodyLength >= 4 && std::memcmp(section.Data + 2, "Exif", 4) == 0)
                Metadata->HasExif = ParseExif(section.Data + 2, bodyLength);
            DiscardLastSection();
            return true;
        case MarkerCom:
            if (m_CommentSeen) {
                DiscardLastSection();
            } else {
                m_CommentSeen = true;
                ProcessComment(section);
            }
            break;
        default:
            break;
        }
    }
}

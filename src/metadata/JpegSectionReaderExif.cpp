// The EXIF half of JpegSectionReader: the header checks, the directory walk
// and the conversion of the tags we know into JpegMetadata.
//
// Every read stays inside the TIFF block: directory extents, value extents and
// links are checked in 64-bit arithmetic before anything is read, and a value's
// first component is converted only when the value has at least one component.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "JpegSectionReader.h"

namespace {

const unsigned TagMake = 0x010F;
const unsigned TagModel = 0x0110;
const unsigned TagOrientation = 0x0112;
const unsigned TagXResolution = 0x011A;
const unsigned TagYResolution = 0x011B;
const unsigned TagResolutionUnit = 0x0128;
const unsigned TagThumbnailOffset = 0x0201;
const unsigned TagThumbnailLength = 0x0202;
const unsigned TagExposureTime = 0x829A;
const unsigned TagFNumber = 0x829D;
const unsigned TagExifDirectory = 0x8769;
const unsigned TagExposureProgram = 0x8822;
const unsigned TagIsoSpeed = 0x8827;
const unsigned TagExifVersion = 0x9000;
const unsigned TagDateTimeOriginal = 0x9003;
const unsigned TagCompressedBitsPerPixel = 0x9102;
const unsigned TagShutterSpeedValue = 0x9201;
const unsigned TagApertureValue = 0x9202;
const unsigned TagBrightnessValue = 0x9203;
const unsigned TagExposureBiasValue = 0x9204;
const unsigned TagMaxApertureValue = 0x9205;
const unsigned TagSubjectDistance = 0x9206;
const unsigned TagMeteringMode = 0x9207;
const unsigned TagLightSource = 0x9208;
const unsigned TagFlash = 0x9209;
const unsigned TagFocalLength = 0x920A;
const unsigned TagUserComment = 0x9286;
const unsigned TagPixelXDimension = 0xA002;
const unsigned TagPixelYDimension = 0xA003;
const unsigned TagInteropDirectory = 0xA005;
const unsigned TagFocalPlaneXResolution = 0xA20E;
const unsigned TagFocalPlaneYResolution = 0xA20F;
const unsigned TagFocalPlaneResolutionUnit = 0xA210;

enum ExifFormat {
    FormatByte = 1,
    FormatAscii = 2,
    FormatShort = 3,
    FormatLong = 4,
    FormatRational = 5,
    FormatSByte = 6,
    FormatUndefined = 7,
    FormatSShort = 8,
    FormatSLong = 9,
    FormatSRational = 10,
    FormatFloat = 11,
    FormatDouble = 12,
};

// Bytes per component, indexed by format code (0 is not a format).
const unsigned FormatSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

const uint32_t TiffHeaderOffset = 6; // the TIFF block starts after "Exif\0\0"
const uint32_t DirectoryEntrySize = 12;
const int MaxMakeLength = 31;
const int MaxModelLength = 39;
const int MaxDateTimeLength = 19;
const int ExifVersionLength = 4;
const int MaxUserCommentLength = 199;

// Integer targets take the value truncated toward zero; values beyond the
// 32-bit range saturate instead of being undefined.
int32_t ToInt32(double v)
{
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

float ToFloat(double v)
{
    if (v > FLT_MAX) return HUGE_VALF;
    if (v < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(v);
}

// Unit code to the unit's length in inches; false for a code we do not know.
bool UnitInches(int32_t code, float* inches)
{
    switch (code) {
    case 1: *inches = 1.0f; return true; // no unit
    case 2: *inches = 1.0f; return true; // inch
    case 3: *inches = 0.3937008f; return true; // centimetre
    case 4: *inches = 0.03937008f; return true; // millimetre
    case 5: *inches = 0.00003937008f; return true; // micrometre
    default: return false;
    }
}

// The characters up to the first NUL, at most `maxLength` and at most
// `byteCount`, terminated; `target` has room for maxLength + 1.
void CopyText(char* target, int maxLength, const unsigned char* value, uint32_t byteCount)
{
    int n = 0;
    while (n < maxLength && static_cast<uint32_t>(n) < byteCount && value[n] != 0) {
        target[n] = static_cast<char>(value[n]);
        ++n;
    }
    target[n] = '\0';
}

} // namespace

unsigned JpegSectionReader::Get16u(const unsigned char* at) const noexcept
{
    if (ExifMotorolaOrder) return (unsigned(at[0]) << 8) | at[1];
    return (unsigned(at[1]) << 8) | at[0];
}

uint32_t JpegSectionReader::Get32u(const unsigned char* at) const noexcept
{
    if (ExifMotorolaOrder)
        return (uint32_t(at[0]) << 24) | (uint32_t(at[1]) << 16) | (uint32_t(at[2]) << 8) | uint32_t(at[3]);
    return (uint32_t(at[3]) << 24) | (uint32_t(at[2]) << 16) | (uint32_t(at[1]) << 8) | uint32_t(at[0]);
}

int32_t JpegSectionReader::Get32s(const unsigned char* at) const noexcept
{
    const uint32_t bits = Get32u(at);
    int32_t value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

double JpegSectionReader::ConvertExifValue(const unsigned char* value, int format) const noexcept
{
    switch (format) {
    case FormatByte:
        return value[0];
    case FormatShort:
        return Get16u(value);
    case FormatLong:
        return Get32u(value);
    case FormatRational: {
        const uint32_t numerator = Get32u(value);
        const uint32_t denominator = Get32u(value + 4);
        return denominator == 0 ? 0.0 : double(numerator) / double(denominator);
    }
    case FormatSByte:
        return static_cast<signed char>(value[0]);
    case FormatSShort:
        return static_cast<int16_t>(static_cast<uint16_t>(Get16u(value)));
    case FormatSLong:
        return Get32s(value);
    case FormatSRational: {
        const int32_t numerator = Get32s(value);
        const int32_t denominator = Get32s(value + 4);
        return denominator == 0 ? 0.0 : double(numerator) / double(denominator);
    }
    case FormatFloat: {
        const uint32_t bits = Get32u(value);
        float f;
        std::memcpy(&f, &bits, sizeof(f));
        return f;
    }
    case FormatDouble: {
        const uint64_t first = Get32u(value);
        const uint64_t second = Get32u(value + 4);
        // In either order the first four bytes hold the half that comes first
        // in memory: big-endian puts the high half there, little-endian the low.
        const uint64_t bits = ExifMotorolaOrder ? (first << 32) | second : (second << 32) | first;
        double d;
        std::memcpy(&d, &bits, sizeof(d));
        return d;
    }
    default: // ASCII, UNDEFINED
        return 0.0;
    }
}

bool JpegSectionReader::ParseExif(unsigned char* payload, uint32_t payloadLength) noexcept
{
    if (!Metadata) {
        SetError("Could not allocate memory");
        return false;
    }
    Metadata->FlashFired = 0;
    Metadata->Comment[0] = '\0';
    ExifPixelDimension = 0;
    m_VisitedCount = 0;

    if (!payload || payloadLength < 6 || std::memcmp(payload, "Exif\0\0", 6) != 0) {
        SetError("Incorrect Exif header");
        return false;
    }
    if (payloadLength >= 8 && payload[6] == 'I' && payload[7] == 'I') {
        ExifMotorolaOrder = 0;
    } else if (payloadLength >= 8 && payload[6] == 'M' && payload[7] == 'M') {
        ExifMotorolaOrder = 1;
    } else {
        SetError("Invalid Exif alignment marker.");
        return false;
    }
    if (payloadLength < 10 || Get16u(payload + 8) != 42) {
        SetError("Invalid Exif start (1)");
        return false;
    }
    const int32_t firstOffset = payloadLength >= 14 ? Get32s(payload + 10) : 0;
    if (firstOffset < 8 || firstOffset > 16) {
        SetError("Suspicious offset of first IFD value");
        return false;
    }

    unsigned char* tiff = payload + TiffHeaderOffset;
    const uint32_t tiffLength = payloadLength - TiffHeaderOffset;
    if (!ParseExifDirectory(static_cast<uint32_t>(firstOffset), tiff, tiffLength)) return false;

    if (Metadata->FocalPlaneXResolution != 0.0f) {
        Metadata->SensorWidth =
            static_cast<float>(ExifPixelDimension) * Metadata->FocalPlaneUnitInches / Metadata->FocalPlaneXResolution;
    }
    return true;
}

bool JpegSectionReader::ParseExifDirectory(uint32_t directoryOffset, unsigned char* tiff,
                                           uint32_t tiffLength) noexcept
{
    // The first directory entered is the image's; the others describe the
    // thumbnail or hold sub-directories.
    const bool imageDirectory = m_VisitedCount == 0;
    // Links may form cycles; a directory is entered once, and the number of
    // directories (hence the depth of this recursion) is bounded.
    for (int i = 0; i < m_VisitedCount; ++i) {
        if (m_VisitedDirectories[i] == directoryOffset) {
            SetError("Illegal subdirectory link");
            return false;
        }
    }
    if (m_VisitedCount >= MaxExifDirectories) {
        SetError("Illegal subdirectory link");
        return false;
    }
    m_VisitedDirectories[m_VisitedCount++] = directoryOffset;

    if (uint64_t(directoryOffset) + 2 > tiffLength) {
        SetError("Illegally sized directory");
        return false;
    }
    unsigned char* directory = tiff + directoryOffset;
    const uint32_t entryCount = Get16u(directory);
    const uint64_t entriesEnd = uint64_t(directoryOffset) + 2 + uint64_t(DirectoryEntrySize) * entryCount;
    if (entriesEnd > tiffLength) {
        SetError("Illegally sized directory");
        return false;
    }

    uint32_t thumbnailOffset = 0;
    uint32_t thumbnailLength = 0;
    for (uint32_t i = 0; i < entryCount; ++i) {
        unsigned char* entry = directory + 2 + DirectoryEntrySize * i;
        const unsigned tag = Get16u(entry);
        const unsigned format = Get16u(entry + 2);
        const uint32_t count = Get32u(entry + 4);
        if (format < 1 || format > 12) {
            SetError("Illegal format code in EXIF dir");
            return false;
        }
        const uint64_t byteCount = uint64_t(count) * FormatSizes[format];
        unsigned char* value = entry + 8;
        if (byteCount > 4) {
            const uint32_t valueOffset = Get32u(entry + 8);
            if (uint64_t(valueOffset) + byteCount > tiffLength) {
                SetError("Illegal pointer offset value in EXIF.");
                return false;
            }
            value = tiff + valueOffset;
        }
        // Without components a value wider than the entry's own four bytes would
        // be read from past the entry; narrower values are read from those bytes.
        if (count == 0 && FormatSizes[format] > 4) continue;

        ApplyExifTag(tag, static_cast<int>(format), value, static_cast<uint32_t>(byteCount), imageDirectory,
                     &thumbnailOffset, &thumbnailLength);

        if (tag == TagExifDirectory || tag == TagInteropDirectory) {
            const uint32_t subOffset = Get32u(value);
            if (subOffset > tiffLength) {
                SetError("Illegal subdirectory link");
                return false;
            }
            ParseExifDirectory(subOffset, tiff, tiffLength); // its failure only ends that directory
        }
    }

    // The link to the next directory (IFD1 after IFD0). A directory whose link
    // does not fit in the block is taken as the last one.
    if (entriesEnd + 4 <= tiffLength) {
        const uint32_t nextOffset = Get32u(tiff + entriesEnd);
        if (nextOffset != 0) {
            if (nextOffset > tiffLength) {
                SetError("Illegal subdirectory link");
                return false;
            }
            ParseExifDirectory(nextOffset, tiff, tiffLength);
        }
    }

    if (thumbnailOffset != 0 && thumbnailLength != 0 && uint64_t(thumbnailOffset) + thumbnailLength <= tiffLength) {
        Metadata->ThumbnailOffset = thumbnailOffset;
        Metadata->ThumbnailLength = thumbnailLength;
    }
    return true;
}

void JpegSectionReader::ApplyExifTag(unsigned tag, int format, unsigned char* value, uint32_t byteCount,
                                     bool imageDirectory, uint32_t* thumbnailOffset, uint32_t* thumbnailLength) noexcept
{
    JpegMetadata& m = *Metadata;
    const double ln2 = std::log(2.0);
    switch (tag) {
    case TagMake:
        CopyText(m.Make, MaxMakeLength, value, byteCount);
        break;
    case TagModel:
        CopyText(m.Model, MaxModelLength, value, byteCount);
        break;
    case TagOrientation: {
        // How to show the image: a thumbnail's or a sub-directory's says nothing of it.
        if (!imageDirectory) break;
        int32_t orientation = ToInt32(ConvertExifValue(value, format));
        if (orientation < 1 || orientation > 8) {
            orientation = 0;
            SetError("Undefined rotation value");
        }
        m.Orientation = orientation;
        break;
    }
    case TagXResolution:
        m.XResolution = ToFloat(ConvertExifValue(value, format));
        if (imageDirectory) m.ImageXResolution = m.XResolution;
        break;
    case TagYResolution:
        m.YResolution = ToFloat(ConvertExifValue(value, format));
        if (imageDirectory) m.ImageYResolution = m.YResolution;
        break;
    case TagResolutionUnit:
        UnitInches(ToInt32(ConvertExifValue(value, format)), &m.ResolutionUnitInches);
        if (imageDirectory) m.ImageResolutionUnit = ToInt32(ConvertExifValue(value, format));
        break;
    case TagThumbnailOffset:
    case TagThumbnailLength: {
        // Only positive values name a place inside the block.
        const int32_t v = ToInt32(ConvertExifValue(value, format));
        const uint32_t stored = v > 0 ? static_cast<uint32_t>(v) : 0;
        if (tag == TagThumbnailOffset)
            *thumbnailOffset = stored;
        else
            *thumbnailLength = stored;
        break;
    }
    case TagExposureTime:
        m.ExposureTime = ToFloat(ConvertExifValue(value, format));
        break;
    case TagFNumber:
        m.FNumber = ToFloat(ConvertExifValue(value, format));
        break;
    case TagExposureProgram:
        m.ExposureProgram = ToInt32(ConvertExifValue(value, format));
        break;
    case TagIsoSpeed: {
        int64_t iso = ToInt32(ConvertExifValue(value, format));
        if (iso < 50) iso *= 200; // old cameras store a gain code, not the speed
        m.IsoSpeed = iso < INT32_MIN ? INT32_MIN : static_cast<int32_t>(iso);
        break;
    }
    case TagExifVersion:
        CopyText(m.ExifVersion, ExifVersionLength, value, byteCount);
        break;
    case TagDateTimeOriginal:
        CopyText(m.DateTimeOriginal, MaxDateTimeLength, value, byteCount);
        break;
    case TagCompressedBitsPerPixel:
        m.CompressedBitsPerPixel = ToInt32(ConvertExifValue(value, format));
        break;
    case TagShutterSpeedValue:
        // APEX time value: seconds = 2^-v. ExposureTime, when present, wins.
        if (m.ExposureTime == 0.0f) {
            const double power = std::exp(ConvertExifValue(value, format) * ln2);
            m.ExposureTime = power == 0.0 ? HUGE_VALF : ToFloat(1.0 / power);
        }
        break;
    case TagApertureValue:
    case TagMaxApertureValue:
        // APEX aperture value: f-number = 2^(v/2). FNumber, when present, wins.
        if (m.FNumber == 0.0f) m.FNumber = ToFloat(std::exp(ConvertExifValue(value, format) * ln2 * 0.5));
        break;
    case TagBrightnessValue:
        m.BrightnessValue = ToFloat(ConvertExifValue(value, format));
        break;
    case TagExposureBiasValue:
        m.ExposureBias = ToFloat(ConvertExifValue(value, format));
        break;
    case TagSubjectDistance:
        m.SubjectDistance = ToFloat(ConvertExifValue(value, format));
        break;
    case TagMeteringMode:
        m.MeteringMode = ToInt32(ConvertExifValue(value, format));
        break;
    case TagLightSource:
        m.LightSource = ToInt32(ConvertExifValue(value, format));
        break;
    case TagFlash:
        // Bits 0-2: fired, and the strobe-return status that implies firing.
        m.FlashFired = (ToInt32(ConvertExifValue(value, format)) & 7) ? 1 : 0;
        break;
    case TagFocalLength:
        m.FocalLength = ToFloat(ConvertExifValue(value, format));
        break;
    case TagUserComment:
        CopyUserComment(value, byteCount);
        break;
    case TagPixelXDimension:
    case TagPixelYDimension: {
        const int32_t dimension = ToInt32(ConvertExifValue(value, format));
        if (dimension > ExifPixelDimension) ExifPixelDimension = dimension;
        break;
    }
    case TagFocalPlaneXResolution:
        m.FocalPlaneXResolution = ToFloat(ConvertExifValue(value, format));
        break;
    case TagFocalPlaneYResolution:
        m.FocalPlaneYResolution = ToFloat(ConvertExifValue(value, format));
        break;
    case TagFocalPlaneResolutionUnit:
        UnitInches(ToInt32(ConvertExifValue(value, format)), &m.FocalPlaneUnitInches);
        break;
    default:
        break;
    }
}

void JpegSectionReader::CopyUserComment(unsigned char* value, uint32_t byteCount) noexcept
{
    // Cameras pad the comment with blanks; trim them in place.
    for (uint32_t i = byteCount; i-- > 0;) {
        if (value[i] != ' ') break;
        value[i] = 0;
    }
    // An eight-byte character-code prefix comes first; for "ASCII" the text
    // follows it, for the other codes only the code's name is taken.
    if (byteCount >= 5 && std::memcmp(value, "ASCII", 5) == 0) {
        for (uint32_t i = 5; i < 10 && i < byteCount; ++i) {
            if (value[i] != 0 && value[i] != ' ') {
                CopyText(Metadata->Comment, MaxUserCommentLength, value + i, byteCount - i);
                return;
            }
        }
        return;
    }
    CopyText(Metadata->Comment, MaxUserCommentLength, value, byteCount);
}

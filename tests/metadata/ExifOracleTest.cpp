// Real camera photographs (Debian's mate-backgrounds) read by the filter's
// header reader and published as attributes, compared with what exiftool, an
// independent reader, finds in the same files once the filter's own rules are
// applied to its values. Both must be installed: their absence fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "metadata/JpegSectionReader.h"
#include "load/KwExifAttributes.h"
#include "engine/KwHostDocument.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostMemoryStream.h"

namespace {

namespace fs = std::filesystem;
typedef std::map<std::string, std::string> JsonObject;

const char* const PhotoFolder = "/usr/share/backgrounds/mate";

std::string RunCommand(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

// Just enough JSON for exiftool's output: an array of flat objects whose
// values are strings or bare numbers. Non-ASCII escapes become '?'.
std::vector<JsonObject> ParseFlatJsonArray(const std::string& text)
{
    std::vector<JsonObject> objects;
    size_t i = 0;
    auto skipSpace = [&]() {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    };
    auto readString = [&]() {
        std::string s;
        ++i; // opening quote
        while (i < text.size() && text[i] != '"') {
            if (text[i] == '\\' && i + 1 < text.size()) {
                const char e = text[++i];
                if (e == 'u') {
                    const unsigned code = static_cast<unsigned>(std::strtoul(text.substr(i + 1, 4).c_str(), nullptr, 16));
                    s += code < 0x80 ? static_cast<char>(code) : '?';
                    i += 4;
                } else {
                    s += e == 'n' ? '\n' : e == 't' ? '\t' : e;
                }
            } else {
                s += text[i];
            }
            ++i;
        }
        ++i; // closing quote
        return s;
    };
    while (i < text.size()) {
        if (text[i] != '{') {
            ++i;
            continue;
        }
        ++i;
        JsonObject object;
        for (;;) {
            skipSpace();
            if (i >= text.size() || text[i] == '}') break;
            if (text[i] == ',') {
                ++i;
                continue;
            }
            const std::string key = readString();
            skipSpace();
            ++i; // colon
            skipSpace();
            std::string value;
            if (i < text.size() && text[i] == '"') {
                value = readString();
            } else {
                while (i < text.size() && text[i] != ',' && text[i] != '}' && !std::isspace(static_cast<unsigned char>(text[i])))
                    value += text[i++];
            }
            object[key] = value;
        }
        ++i;
        objects.push_back(object);
    }
    return objects;
}

bool Has(const JsonObject& o, const std::string& key) { return o.count(key) != 0; }
std::string Get(const JsonObject& o, const std::string& key) { return Has(o, key) ? o.at(key) : std::string(); }
double Number(const JsonObject& o, const std::string& key)
{
    // Lists ("100 100") count by their first value; "Inf" and "inf" read as infinity.
    return Has(o, key) ? std::strtod(o.at(key).c_str(), nullptr) : 0.0;
}

std::string TrimRight(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

// What the filter publishes, attribute by attribute.
std::map<std::string, std::string> PublishedAttributes(KwHostEngine& engine, const JpegMetadata& metadata)
{
    std::map<std::string, std::string> published;
    KwHostDocument* document = nullptr;
    if (engine.CreateDocument(&document) != S_OK) return published;
    KwComPtr<KwHostDocument> owner;
    owner.Attach(document);
    KwHostDouble(engine).Log().Clear();
    if (KwPublishExifAttributes(document, metadata) != S_OK) return published;
    for (const KwHostCall* call : KwHostDouble(engine).Log().Find("PutAttribute"))
        if (call->Object == "attributes") published[call->Name] = call->Value.ValueText();
    return published;
}

// "%2.4f" text against a number: equal within the last printed digit, allowing
// for the single precision the record keeps.
void ExpectFormattedNear(const std::map<std::string, std::string>& published, const std::string& name,
                         double expected, const std::string& file)
{
    const float stored = static_cast<float>(expected);
    if (stored == 0.0f) {
        EXPECT_EQ(0u, published.count(name)) << file << ": " << name << " is zero and not published";
        return;
    }
    ASSERT_EQ(1u, published.count(name)) << file << ": " << name;
    const std::string& text = published.at(name);
    if (std::isinf(stored)) {
        EXPECT_EQ(stored > 0 ? "inf" : "-inf", text) << file << ": " << name;
        return;
    }
    const size_t dot = text.find('.');
    ASSERT_NE(std::string::npos, dot) << file << ": " << name << " = " << text;
    EXPECT_EQ(4u, text.size() - dot - 1) << file << ": " << name << " has four decimals: " << text;
    EXPECT_NEAR(expected, std::strtod(text.c_str(), nullptr), 0.00005 + std::fabs(expected) * 1e-6)
        << file << ": " << name << " = " << text;
}

std::vector<unsigned char> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(ExifOracle, CameraPhotographsAgreeWithExiftool)
{
    ASSERT_TRUE(fs::is_directory(PhotoFolder)) << PhotoFolder << " is missing: install the mate-backgrounds package";
    std::vector<std::string> files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(PhotoFolder)) {
        std::string ext = e.path().extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (e.is_regular_file() && (ext == ".jpg" || ext == ".jpeg")) files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << "no JPEG files under " << PhotoFolder;
    ASSERT_NE("", RunCommand("exiftool -ver 2>/dev/null")) << "exiftool is missing: install libimage-exiftool-perl";

    std::string command =
        "exiftool -n -j -File:ExifByteOrder -EXIF:Make -EXIF:Model -EXIF:ExifVersion -EXIF:DateTimeOriginal "
        "-EXIF:ExposureTime -EXIF:ShutterSpeedValue -EXIF:FNumber -EXIF:ApertureValue -EXIF:MaxApertureValue "
        "-EXIF:ISO -EXIF:BrightnessValue -EXIF:FocalLength -EXIF:Flash -EXIF:MeteringMode -EXIF:ExposureProgram "
        "-File:ImageWidth -File:ImageHeight -File:EncodingProcess -File:ColorComponents -File:Comment";
    for (const std::string& f : files) command += " '" + f + "'";
    std::map<std::string, JsonObject> oracle;
    for (const JsonObject& o : ParseFlatJsonArray(RunCommand(command + " 2>/dev/null"))) oracle[Get(o, "SourceFile")] = o;
    ASSERT_EQ(files.size(), oracle.size()) << "exiftool answered for every file";

    KwHostEngine engine;
    ASSERT_TRUE(SUCCEEDED(engine.Start()));
    int withExif = 0, withoutExif = 0, bigEndian = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const JsonObject& o = oracle[file];
        const std::vector<unsigned char> bytes = ReadFile(file);
        KwHostMemoryStream* stream = nullptr;
        ASSERT_EQ(S_OK, engine.CreateMemoryStream(bytes.data(), bytes.size(), &stream));
        KwComPtr<KwHostMemoryStream> streamOwner;
        streamOwner.Attach(stream);
        JpegMetadata metadata{};
        JpegSectionReader reader(&metadata);
        EXPECT_TRUE(reader.ReadSections(stream)) << reader.ErrorText;

        if (!Has(o, "ExifByteOrder")) {
            // No EXIF: the scan runs to the frame header and reads the comment.
            ++withoutExif;
            EXPECT_FALSE(metadata.HasExif);
            EXPECT_EQ(Number(o, "ImageWidth"), metadata.ImageWidth);
            EXPECT_EQ(Number(o, "ImageHeight"), metadata.ImageHeight);
            EXPECT_EQ(0xC0 + static_cast<int>(Number(o, "EncodingProcess")), metadata.FrameMarker);
            EXPECT_EQ(Number(o, "ColorComponents") == 3 ? 1 : 0, metadata.IsColor);
            EXPECT_EQ(Get(o, "Comment"), TrimRight(metadata.Comment));
            continue;
        }
        // Every photograph here carries EXIF in its first APP1 section, the only one read.
        ++withExif;
        if (Get(o, "ExifByteOrder") == "MM") ++bigEndian;
        ASSERT_TRUE(metadata.HasExif) << reader.ErrorText;
        const std::map<std::string, std::string> published = PublishedAttributes(engine, metadata);
        ASSERT_FALSE(published.empty());

        // Texts: cut to the record's sizes; exiftool drops trailing blanks, the filter keeps them.
        EXPECT_EQ(Get(o, "ExifVersion").substr(0, 4), published.at("ExifVersion"));
        EXPECT_EQ(TrimRight(Get(o, "Make").substr(0, 31)), TrimRight(published.at("ExifMake")));
        EXPECT_EQ(TrimRight(Get(o, "Model").substr(0, 39)), TrimRight(published.at("ExifModel")));
        EXPECT_EQ(Get(o, "DateTimeOriginal").substr(0, 19), published.at("ExifDateTime"));

        // The direct values win; otherwise the APEX values (exiftool already converts them).
        const double exposure = Number(o, "ExposureTime") != 0 ? Number(o, "ExposureTime")
                                                                : Number(o, "ShutterSpeedValue");
        double aperture = Number(o, "FNumber");
        if (aperture == 0) aperture = Has(o, "ApertureValue") ? Number(o, "ApertureValue") : Number(o, "MaxApertureValue");
        ExpectFormattedNear(published, "ExifExposure", exposure, file);
        ExpectFormattedNear(published, "ExifAperture", aperture, file);
        ExpectFormattedNear(published, "ExifBrigthness", Number(o, "BrightnessValue"), file);
        ExpectFormattedNear(published, "ExifFocalLength", Number(o, "FocalLength"), file);

        long iso = static_cast<long>(Number(o, "ISO"));
        if (iso < 50) iso *= 200;
        if (iso != 0) {
            EXPECT_EQ(std::to_string(iso), published.count("ExifIsoEquivalent") ? published.at("ExifIsoEquivalent") : "");
        } else {
            EXPECT_EQ(0u, published.count("ExifIsoEquivalent"));
        }
        EXPECT_EQ((static_cast<long>(Number(o, "Flash")) & 7) ? "Yes" : "No", published.at("ExifFlash"));
        for (const char* key : {"MeteringMode", "ExposureProgram"}) {
            const std::string name = std::string(key) == "MeteringMode" ? "ExifMetering" : "ExifExposureProgram";
            const long v = static_cast<long>(Number(o, key));
            if (v != 0) {
                EXPECT_EQ(std::to_string(v), published.count(name) ? published.at(name) : "") << name;
            } else {
                EXPECT_EQ(0u, published.count(name)) << name;
            }
        }
    }
    // The package holds both kinds, and both EXIF byte orders.
    EXPECT_GT(withExif, 0);
    EXPECT_GT(withoutExif, 0);
    EXPECT_GT(bigEndian, 0);
    EXPECT_LT(bigEndian, withExif);
    engine.Stop();
}

// Fuzz target: the marker section scanner over raw bytes as a host stream, and
// the EXIF parser on the same bytes taken as an APP1 payload.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "metadata/JpegSectionReader.h"
#include "com/KwComPtr.h"
#include "KwFuzzHost.h"
#include "engine/KwHostMemoryStream.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    KwFuzzStart();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KwHostEngine& engine = KwFuzzEngine();
    {
        KwComPtr<KwHostMemoryStream> stream;
        if (FAILED(KwHostMemoryStream::Create(data, size, stream.Receive(), engine.Context()))) std::abort();

        // On the caller's record, as the load path does.
        JpegMetadata metadata;
        std::memset(&metadata, 0, sizeof(metadata));
        JpegSectionReader reader(&metadata);
        reader.ReadSections(stream.Get());
        if (std::memchr(reader.ErrorText, 0, sizeof(reader.ErrorText)) == nullptr) std::abort();
        if (reader.SectionCount < 0 || reader.SectionCount > JpegSectionReader::MaxSections) std::abort();
        if (std::memchr(metadata.Comment, 0, sizeof(metadata.Comment)) == nullptr) std::abort();

        // A payload in a block of its own exact size, so that any read past it is caught.
        unsigned char* payload = static_cast<unsigned char*>(std::malloc(size ? size : 1));
        if (!payload) std::abort();
        if (size) std::memcpy(payload, data, size);
        JpegSectionReader parser; // owns its record
        parser.ParseExif(payload, static_cast<uint32_t>(size));
        // The same bytes behind a valid EXIF header reach the directory walk at once.
        unsigned char* exif = static_cast<unsigned char*>(std::malloc(size + 6));
        if (!exif) std::abort();
        std::memcpy(exif, "Exif\0\0", 6);
        if (size) std::memcpy(exif + 6, data, size);
        JpegSectionReader walker;
        walker.ParseExif(exif, static_cast<uint32_t>(size + 6));
        if (walker.Metadata && std::memchr(walker.Metadata->Make, 0, sizeof(walker.Metadata->Make)) == nullptr)
            std::abort();
        std::free(exif);
        std::free(payload);
    }
    KwFuzzCheckClean("fuzz_sections");
    return 0;
}

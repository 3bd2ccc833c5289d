// Fuzz target: the codec layer on raw bytes, with no COM object on the way:
// a decode session over a memory stream (a stream that hands over little at a
// time for some inputs, a scan-event handler that stops the decode for
// others), and the rows it gives encoded again by an encode session as the
// host's stored rows (24-bit B, G, R or 8-bit gray through a palette).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codec/KwDecodeSession.h"
#include "codec/KwEncodeSession.h"
#include "KwFuzzHost.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostMemoryStream.h"

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_codec: %s\n", what);
        std::abort();
    }
}

struct StopAfter {
    unsigned Questions;
};

bool AskToStop(void* context) noexcept
{
    StopAfter* stop = static_cast<StopAfter*>(context);
    return stop->Questions > 0 && --stop->Questions == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    KwFuzzStart();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KwHostEngine& engine = KwFuzzEngine();
    {
        KwComPtr<KwHostMemoryStream> input;
        KwComPtr<KwHostMemoryStream> output;
        if (FAILED(KwHostMemoryStream::Create(data, size, input.Receive(), engine.Context())) ||
            FAILED(KwHostMemoryStream::Create(nullptr, 0, output.Receive(), engine.Context())))
            std::abort();
        if (size % 5 == 1) KwHostDouble(input).Switches().MaxReadPerCall = static_cast<ULONG>(3 + size % 4000);
        StopAfter stop{size % 7 == 3 ? 1u + static_cast<unsigned>(size % 3) : 0u};

        KwDecodeSession decode;
        HRESULT hr = decode.Open(static_cast<IStream*>(input.Get()), static_cast<LONG>(size));
        // What the host would refuse: the image costs no more than the refusal.
        if (SUCCEEDED(hr) &&
            static_cast<unsigned long long>(decode.Width()) * static_cast<unsigned long long>(decode.Height()) <=
                KwFuzzMaxRasterPixels)
            hr = decode.Start(AskToStop, &stop);
        else if (SUCCEEDED(hr))
            hr = E_ABORT;
        Check(SUCCEEDED(hr) || hr == E_FAIL || hr == E_ABORT || hr == E_OUTOFMEMORY, "an unexpected failure");
        if (hr == S_OK) {
            uint32_t gray[KwHostRowConverter::MaxColors];
            for (uint32_t i = 0; i < KwHostRowConverter::MaxColors; ++i) gray[i] = i | (i << 8) | (i << 16);
            KwEncodeSession encode;
            HRESULT encoded = encode.Start(static_cast<IStream*>(output.Get()), decode.Width(), decode.Height(),
                                           decode.BitsPerPixel(), gray);
            Check(SUCCEEDED(encoded), "the encode of a decoded image did not start");
            LONG rows = 0;
            unsigned char* row = nullptr;
            while ((hr = decode.NextRow(&row)) == S_OK) {
                Check(rows < decode.Height(), "more rows than the image has");
                Check(encode.WriteRow(row) == S_OK, "a decoded row was not encoded");
                ++rows;
            }
            Check(hr == S_FALSE || hr == E_FAIL, "an unexpected row failure");
            if (hr == S_FALSE) {
                Check(rows == decode.Height(), "fewer rows than the image has");
                decode.Finish();
                Check(encode.Finish() == S_OK, "the encode of a whole image failed");
                const std::vector<unsigned char>& jpeg = output->Bytes();
                Check(jpeg.size() >= 4 && jpeg[0] == 0xFF && jpeg[1] == 0xD8 && jpeg[jpeg.size() - 1] == 0xD9,
                      "the encode wrote no whole JPEG stream");
            }
        }
    }
    KwFuzzCheckClean("fuzz_codec");
    return 0;
}

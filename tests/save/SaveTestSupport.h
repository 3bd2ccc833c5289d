// Helpers of the save tests: the codec as an independent reader and writer,
// and a capture of the message boxes the filter shows.
#pragma once

#include <string>
#include <vector>

#include "com/KwComPtr.h"
#include "interfaces/KwFilterInterfaces.h"
#include "common/KwMessageBoxHook.h"
#include "engine/KwHostMemoryStream.h"
#include "KwPlatform.h"

using Bytes = std::vector<unsigned char>;

// A JPEG decoded to red, green, blue triples (scale 1/scaleDenom); ok is false for a broken file.
struct DecodedJpeg {
    bool ok = false;
    int width = 0;
    int height = 0;
    Bytes rgb;
};
DecodedJpeg DecodeJpeg(const Bytes& jpeg, int scaleDenom = 1);

// The codec's own encode of red, green, blue rows with the settings the filter promises
// (defaults, quality 75, baseline).
Bytes EncodeDirect(const Bytes& rgb, int width, int height);

Bytes ReadFileBytes(const std::string& path);

// Sees every MessageBoxA call while it lives.
class MessageBoxCapture {
public:
    struct Call {
        std::string text;
        std::string caption;
        UINT type;
    };
    MessageBoxCapture() noexcept { KwSetMessageBoxHandler(&Handler, this); }
    ~MessageBoxCapture() { KwSetMessageBoxHandler(nullptr, nullptr); }
    std::vector<Call> calls;

private:
    static int Handler(void* self, LPCSTR text, LPCSTR caption, UINT type)
    {
        static_cast<MessageBoxCapture*>(self)->calls.push_back({text, caption, type});
        return IDOK;
    }
};

// A save filter with a document on a memory stream (holding `prefix`, positioned
// after it) and one raster-data object, as a host sets them up.
struct SaveSession {
    explicit SaveSession(const Bytes& prefix = Bytes());
    KwComPtr<KwHostMemoryStream> stream;
    KwComPtr<IKwFilterSave> filter;
    KwComPtr<IKwSaveStructure> structure;
    KwComPtr<IKwSaveRasterData> raster;
    Bytes Output() const { return stream->Bytes(); }
};

// VARIANT arguments the filter ignores.
inline VARIANT EmptyVariant()
{
    VARIANT v;
    VariantInit(&v);
    return v;
}

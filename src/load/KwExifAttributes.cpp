#include "KwExifAttributes.h"

#include <cstdio>
#include <cstring>

#include "CKwFilterSupport.h"
#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "com/KwMemory.h"

namespace {

// A text field of the record, read no further than its own size.
template <size_t N> void CopyField(char (&target)[N + 1], const char (&field)[N]) noexcept
{
    const size_t length = strnlen(field, N);
    std::memcpy(target, field, length);
    target[length] = '\0';
}

class ExifCollectionWriter {
public:
    explicit ExifCollectionWriter(IKwAttribute* collection) noexcept : m_Collection(collection) {}

    // False only when the name or the value could not be allocated.
    bool Put(const OLECHAR* name, const char* text) noexcept
    {
        KwBstr bstrName = KwMakeBstr(name);
        if (!bstrName.Ok()) return false;
        BSTR value = KwNarrowToBstr(text);
        if (!value) return false;
        KwVariant variant;
        variant.SetBstr(value);
        m_Collection->PutAttribute(bstrName.Get(), variant, AttributeTypeInfo); // result deliberately ignored
        return true;
    }
    bool PutFloat(const OLECHAR* name, float value) noexcept
    {
        char text[64];
        std::snprintf(text, sizeof(text), "%2.4f", static_cast<double>(value));
        return Put(name, text);
    }
    bool PutInteger(const OLECHAR* name, int32_t value) noexcept
    {
        char text[64];
        std::snprintf(text, sizeof(text), "%d", static_cast<int>(value));
        return Put(name, text);
    }

private:
    IKwAttribute* m_Collection;
};

} // namespace

HRESULT KwPublishExifAttributes(IKwDocument* document, const JpegMetadata& metadata) noexcept
{
    if (!document) return E_POINTER;

    // Without the host's attribute class there is nothing to fill: skip.
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(OLESTR("VelEngine.KwAttribute"), &clsid))) return S_FALSE;
    KwComPtr<IKwAttribute> collection;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, KwUuidOf<IKwAttribute>(),
                                  reinterpret_cast<void**>(collection.Receive()));
    if (FAILED(hr) || !collection) return S_FALSE;

    {
        KwBstr name = KwMakeBstr(OLESTR("SummaryInformation"));
        if (!name.Ok()) return E_OUTOFMEMORY;
        KwVariant value;
        value.SetDispatch(collection.Get());
        document->PutAttribute(name.Get(), value, AttributeTypeInfo); // result deliberately ignored
    }

    char version[sizeof(metadata.ExifVersion) + 1];
    char make[sizeof(metadata.Make) + 1];
    char model[sizeof(metadata.Model) + 1];
    char dateTime[sizeof(metadata.DateTimeOriginal) + 1];
    CopyField(version, metadata.ExifVersion);
    CopyField(make, metadata.Make);
    CopyField(model, metadata.Model);
    CopyField(dateTime, metadata.DateTimeOriginal);

    ExifCollectionWriter out(collection.Get());
    bool ok = out.Put(OLESTR("ExifVersion"), version) && out.Put(OLESTR("ExifMake"), make) &&
              out.Put(OLESTR("ExifModel"), model) && out.Put(OLESTR("ExifDateTime"), dateTime);
    if (ok && metadata.ExposureTime != 0.0f) ok = out.PutFloat(OLESTR("ExifExposure"), metadata.ExposureTime);
    if (ok && metadata.FNumber != 0.0f) ok = out.PutFloat(OLESTR("ExifAperture"), metadata.FNumber);
    if (ok && metadata.IsoSpeed != 0) ok = out.PutInteger(OLESTR("ExifIsoEquivalent"), metadata.IsoSpeed);
    // The host's vocabulary spells this name so.
    if (ok && metadata.BrightnessValue != 0.0f) ok = out.PutFloat(OLESTR("ExifBrigthness"), metadata.BrightnessValue);
    if (ok && metadata.FocalLength != 0.0f) ok = out.PutFloat(OLESTR("ExifFocalLength"), metadata.FocalLength);
    if (ok) ok = out.Put(OLESTR("ExifFlash"), metadata.FlashFired ? "Yes" : "No");
    if (ok && metadata.MeteringMode != 0) ok = out.PutInteger(OLESTR("ExifMetering"), metadata.MeteringMode);
    if (ok && metadata.ExposureProgram != 0)
        ok = out.PutInteger(OLESTR("ExifExposureProgram"), metadata.ExposureProgram);
    return ok ? S_OK : E_OUTOFMEMORY;
}

void KwApplyExifResolution(const JpegMetadata& metadata, double* lpiX, double* lpiY) noexcept
{
    double inches;
    switch (metadata.ImageResolutionUnit) {
    case 0: // absent: the standard's default, inches
    case 2: inches = 1.0; break;
    case 3: inches = 1 / 2.54; break;
    case 4: inches = 1 / 25.4; break;
    case 5: inches = 1 / 25400.0; break;
    default: return; // no unit, or one we do not know
    }
    // Far beyond any scanner: a damaged value, not a resolution.
    const double most = 1e6;
    const double x = metadata.ImageXResolution / inches;
    const double y = metadata.ImageYResolution / inches;
    if (x > 10 && x <= most) *lpiX = x;
    if (y > 10 && y <= most) *lpiY = y;
}

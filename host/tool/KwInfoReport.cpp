#include "KwInfoReport.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "KwColourProfile.h"
#include "KwJsonWriter.h"
#include "KwOrientation.h"

namespace {

// A byte array's size, and for the colour profile its description.
void WriteBytes(KwJsonWriter& json, const KwHostReportedAttribute& attribute)
{
    std::vector<unsigned char> bytes;
    KwHostVariant::Bytes(attribute.Value.Get(), &bytes);
    json.BeginObject();
    json.Key("bytes");
    json.Integer(LONGLONG(bytes.size()));
    if (attribute.Name == "ICCProfile") {
        json.Key("description");
        json.String(KwColourProfile::Description(bytes));
    }
    json.EndObject();
}

void WriteValue(KwJsonWriter& json, const KwHostReportedAttribute& attribute)
{
    const VARIANT& v = attribute.Value.Get();
    LONGLONG integer = 0;
    switch (v.vt) {
    case VT_BSTR:
        json.String(KwHostVariant::Narrow(v.bstrVal));
        return;
    case VT_BOOL:
        json.Bool(v.boolVal != VARIANT_FALSE);
        return;
    case VT_R8:
        json.Number(v.dblVal);
        return;
    case VT_R4:
        json.Number(v.fltVal);
        return;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        json.BeginObject();
        for (const KwHostReportedAttribute& child : attribute.Children) {
            json.Key(child.Name);
            WriteValue(json, child);
        }
        json.EndObject();
        return;
    case VT_EMPTY:
    case VT_NULL:
        json.Null();
        return;
    case VT_ARRAY | VT_UI1:
        WriteBytes(json, attribute);
        return;
    default:
        if (KwHostVariant::AsInteger(v, &integer))
            json.Integer(integer);
        else
            json.String(attribute.Value.ValueText());
    }
}

void WriteObject(KwJsonWriter& json, const std::vector<KwHostReportedAttribute>& attributes)
{
    json.BeginObject();
    for (const KwHostReportedAttribute& a : attributes) {
        json.Key(a.Name);
        WriteValue(json, a);
    }
    json.EndObject();
}

std::string PlainValue(const KwHostReportedAttribute& a)
{
    const VARIANT& v = a.Value.Get();
    if (v.vt == VT_BSTR) return "\"" + KwHostVariant::Narrow(v.bstrVal) + "\"";
    if (v.vt == VT_BOOL) return v.boolVal ? "yes" : "no";
    LONGLONG orientation = 0;
    if (a.Name == "Orientation" && KwHostVariant::AsInteger(v, &orientation) && *KwOrientation::Describe(int(orientation)))
        return std::to_string(orientation) + " (" + KwOrientation::Describe(int(orientation)) + ")";
    if (v.vt == (VT_ARRAY | VT_UI1)) {
        std::vector<unsigned char> bytes;
        KwHostVariant::Bytes(v, &bytes);
        std::string text = std::to_string(bytes.size()) + " bytes";
        const std::string description = a.Name == "ICCProfile" ? KwColourProfile::Description(bytes) : std::string();
        return description.empty() ? text : text + " \"" + description + "\"";
    }
    if (v.vt == VT_R8) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%g", v.dblVal);
        return buf;
    }
    return a.Value.ValueText();
}

void Line(std::string& out, const char* label, const std::vector<KwHostReportedAttribute>& attributes)
{
    std::string items;
    for (const KwHostReportedAttribute& a : attributes) {
        if (a.Value.Type() == VT_DISPATCH) continue;
        if (!items.empty()) items += ", ";
        items += a.Name + " " + PlainValue(a);
    }
    char head[32];
    std::snprintf(head, sizeof head, "  %-10s ", label);
    out += head + (items.empty() ? std::string("(nothing)") : items) + "\n";
}

} // namespace

std::string KwInfoReport::HumanExifValue(const std::string& name, const std::string& raw)
{
    char* end = nullptr;
    double value = std::strtod(raw.c_str(), &end);
    bool numeric = !raw.empty() && end && *end == '\0' && std::isfinite(value);
    char buf[64];
    // The filter rounds the exposure to four decimals: a fraction made from that
    // would be wrong (1/4000 s published as 0.0003 is not 1/3333 s).
    if (name == "ExifExposure" && numeric) return raw + " s";
    if (name == "ExifAperture" && numeric) {
        std::snprintf(buf, sizeof buf, "f/%g", std::round(value * 10) / 10);
        return buf;
    }
    if (name == "ExifFocalLength" && numeric) {
        std::snprintf(buf, sizeof buf, "%g mm", std::round(value * 10) / 10);
        return buf;
    }
    if (name == "ExifIsoEquivalent") return "ISO " + raw;
    if (name == "ExifMetering" && numeric) {
        static const char* modes[] = {"unknown", "average", "center-weighted average", "spot",
                                      "multi-spot", "pattern", "partial"};
        int m = int(value);
        if (m >= 0 && m <= 6) return std::string(modes[m]) + " (" + raw + ")";
    }
    if (name == "ExifExposureProgram" && numeric) {
        static const char* programs[] = {"not defined", "manual", "normal", "aperture priority",
                                         "shutter priority", "creative", "action", "portrait", "landscape"};
        int p = int(value);
        if (p >= 0 && p <= 8) return std::string(programs[p]) + " (" + raw + ")";
    }
    return raw;
}

std::string KwInfoReport::Json(const std::string& file, const KwLoadOutcome& outcome)
{
    KwJsonWriter json;
    json.BeginObject();
    json.Key("file");
    json.String(file);
    json.Key("result");
    char result[16];
    std::snprintf(result, sizeof result, "0x%08X", static_cast<unsigned>(outcome.Result));
    json.String(result);
    if (!outcome.Message.empty()) {
        json.Key("error");
        json.String(outcome.Message);
    }
    json.Key("document");
    WriteObject(json, outcome.Document);
    json.Key("contents");
    WriteObject(json, outcome.Contents);
    json.Key("node");
    WriteObject(json, outcome.Node);
    json.Key("raster");
    if (outcome.HasRaster) {
        json.BeginObject();
        json.Key("width");
        json.Integer(outcome.Width);
        json.Key("height");
        json.Integer(outcome.Height);
        json.Key("bitsPerPixel");
        json.Integer(outcome.BitsPerPixel);
        json.Key("rows");
        json.Integer(outcome.RowsDelivered);
        json.EndObject();
    } else {
        json.Null();
    }
    if (!outcome.Damage.empty()) {
        json.Key("warnings");
        json.BeginArray();
        json.String(outcome.Damage);
        json.EndArray();
    }
    json.EndObject();
    return json.str();
}

std::string KwInfoReport::Text(const std::string& file, const KwLoadOutcome& outcome)
{
    std::string out = file + "\n";
    std::string status = SUCCEEDED(outcome.Result) ? "loaded" : "failed at " + outcome.FailedStep;
    out += "  result     " + status + ", " + KwToolSession::HresultText(outcome.Result) + "\n";
    if (!outcome.Message.empty()) out += "  problem    " + outcome.Message + "\n";
    if (!outcome.Document.empty()) Line(out, "document", outcome.Document);
    if (!outcome.Contents.empty()) Line(out, "contents", outcome.Contents);
    if (!outcome.Node.empty()) Line(out, "node 1", outcome.Node);
    if (outcome.HasRaster) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "  raster     %d x %d, %d bits per pixel, %d of %d rows delivered\n",
                      int(outcome.Width), int(outcome.Height), int(outcome.BitsPerPixel), int(outcome.RowsDelivered),
                      int(outcome.Height));
        out += buf;
    }
    for (const KwHostReportedAttribute& a : outcome.Document) {
        if (a.Value.Type() != VT_DISPATCH) continue;
        out += "  " + a.Name + "\n";
        for (const KwHostReportedAttribute& entry : a.Children) {
            std::string raw = entry.Value.Type() == VT_BSTR ? KwHostVariant::Narrow(entry.Value.Get().bstrVal)
                                                            : entry.Value.ValueText();
            if (raw.empty()) continue; // the filter publishes absent text tags as empty texts
            char label[40];
            std::snprintf(label, sizeof label, "    %-20s ", entry.Name.c_str());
            out += label + HumanExifValue(entry.Name, raw) + "\n";
        }
    }
    return out;
}

std::string KwInfoReport::DamageWarning(const std::string& file, const std::string& damage)
{
    if (damage.empty()) return std::string();
    return "kwjpeg: " + file + ": warning: damaged JPEG data: " + damage + "; the image holds what could be decoded\n";
}

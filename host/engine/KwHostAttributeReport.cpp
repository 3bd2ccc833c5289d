#include "KwHostAttributeReport.h"

#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "interfaces/KwFilterInterfaces.h"
#include "private/KwHostHooks.h"
#include "KwHostDocument.h"
#include "KwHostNode.h"
#include "KwHostRasterBlock.h"

namespace {
// Collections nested deeper than this are not followed (a collection holding itself).
const int MaxDepth = 8;

void AppendAttributes(const std::vector<KwHostReportedAttribute>& entries, const std::string& indent,
                      std::string* out)
{
    for (const KwHostReportedAttribute& a : entries) {
        *out += indent + a.Name + " = " + a.Value.ValueText() + " (" + KwHostVariant::TypeName(a.Value.Type()) + ")\n";
        AppendAttributes(a.Children, indent + "    ", out);
    }
}

void AppendObject(KwHostObject* object, const std::string& title, const std::string& indent, std::string* out)
{
    *out += indent + title + "\n";
    // The host's own attributes are read directly, whatever interfaces the objects answer;
    // collections held as values are read through IKwAttribute.
    std::vector<KwHostReportedAttribute> entries;
    if (auto* holder = dynamic_cast<KwHostAttributeHolder*>(object)) {
        for (const KwHostAttributeEntry& a : holder->Attributes()) {
            KwHostReportedAttribute entry;
            entry.Name = a.Name;
            entry.Value = a.Value;
            const VARIANT& v = a.Value.Get();
            if ((v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) && v.punkVal)
                KwHostAttributeReport::Read(v.punkVal, &entry.Children);
            entries.push_back(std::move(entry));
        }
    }
    AppendAttributes(entries, indent + "  ", out);
    if (auto* block = dynamic_cast<KwHostRasterBlock*>(object)) {
        *out += indent + "  [raster " + std::to_string(block->Width()) + " x " + std::to_string(block->Height()) +
                ", " + std::to_string(block->BitsPerPixel()) + " bpp, " + std::to_string(block->Palette().size()) +
                " colors, " + std::to_string(block->RowsDelivered()) + " rows delivered" +
                (block->Ended() ? ", ended" : "") + "]\n";
    }
    if (auto* holder = dynamic_cast<KwHostNodeHolder*>(object)) {
        for (const KwHostChildEntry& child : holder->Children()) {
            std::string name = KwHostVariant::IndexText(child.Index.Get());
            if (child.Host)
                AppendObject(child.Host, name, indent + "  ", out);
            else
                *out += indent + "  " + name + " (external object)\n";
        }
    }
}
} // namespace

HRESULT KwHostAttributeReport::ReadLevel(IUnknown* object, int depth, std::vector<KwHostReportedAttribute>* out)
{
    KwComPtr<IKwAttribute> attributes;
    if (FAILED(KwQuery(object, attributes.Receive()))) return S_OK;
    LONG count = 0;
    HRESULT hr = attributes->get_AttributeCount(&count);
    if (FAILED(hr)) return hr;
    for (LONG i = 0; i < count; ++i) {
        KwBstr name;
        hr = attributes->GetAttributeName(i, name.Receive());
        if (FAILED(hr)) return hr;
        KwVariant value;
        hr = attributes->GetAttribute(name.Get(), nullptr, &value);
        KwHostReportedAttribute entry;
        entry.Name = KwNarrow(name.Get());
        if (SUCCEEDED(hr)) entry.Value = KwHostVariant(value);
        if ((value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) && value.punkVal && depth < MaxDepth) {
            hr = ReadLevel(value.punkVal, depth + 1, &entry.Children);
            if (FAILED(hr)) return hr;
        }
        out->push_back(std::move(entry));
    }
    return S_OK;
}

HRESULT KwHostAttributeReport::Read(IUnknown* object, std::vector<KwHostReportedAttribute>* out) noexcept
{
    if (!out) return E_POINTER;
    out->clear();
    if (!object) return E_POINTER;
    KW_HOST_OWN_CALLS();
    try {
        return ReadLevel(object, 0, out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

const KwHostReportedAttribute* KwHostAttributeReport::Find(const std::vector<KwHostReportedAttribute>& entries,
                                                            const std::string& name) noexcept
{
    for (const KwHostReportedAttribute& e : entries)
        if (e.Name == name) return &e;
    return nullptr;
}

std::string KwHostAttributeReport::DescribeTree(KwHostDocument* document)
{
    std::string out;
    if (!document) return out;
    KW_HOST_OWN_CALLS();
    AppendObject(document, "document", "", &out);
    return out;
}

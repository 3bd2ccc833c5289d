// Reads attributes back for reporting: any object answering IKwAttribute (the
// host's nodes, or a collection put as a VT_DISPATCH value) is read in order,
// and a collection value is read into its entry's children.
#pragma once

#include <string>
#include <vector>

#include "KwHostVariant.h"

class KwHostDocument;

struct KwHostReportedAttribute {
    std::string Name;
    KwHostVariant Value;
    std::vector<KwHostReportedAttribute> Children; // the entries of a VT_DISPATCH collection value
};

class KwHostAttributeReport {
public:
    // The attributes of `object` through IKwAttribute, in order; an object without
    // IKwAttribute gives an empty list.
    static HRESULT Read(IUnknown* object, std::vector<KwHostReportedAttribute>* out) noexcept;
    // The entry of that name, or null.
    static const KwHostReportedAttribute* Find(const std::vector<KwHostReportedAttribute>& entries,
                                               const std::string& name) noexcept;
    // The document tree as indented text: each object with its attributes (name = value),
    // collections nested, raster blocks with their size and rows delivered.
    static std::string DescribeTree(KwHostDocument* document);

private:
    static HRESULT ReadLevel(IUnknown* object, int depth, std::vector<KwHostReportedAttribute>* out);
};

// The camera values of a JPEG file as host attributes.
#pragma once

#include "JpegMetadata.h"
#include "KwFilterInterfaces.h"

// Publishes "SummaryInformation" (a "VelEngine.KwAttribute" collection, VT_DISPATCH,
// Type 2) on the document and fills it with the twelve EXIF entries in order.
// S_OK when published; S_FALSE when the attribute class is missing or cannot be
// created (nothing published); E_POINTER without a document; E_OUTOFMEMORY when
// a name or text cannot be allocated (what was put before stays put).
HRESULT KwPublishExifAttributes(IKwDocument* document, const JpegMetadata& metadata) noexcept;

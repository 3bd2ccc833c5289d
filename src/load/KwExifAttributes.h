// The camera values of a JPEG file as host attributes.
#pragma once

#include "metadata/JpegMetadata.h"
#include "interfaces/KwFilterInterfaces.h"

// Publishes "SummaryInformation" (a "VelEngine.KwAttribute" collection, VT_DISPATCH,
// Type 2) on the document and fills it with the twelve EXIF entries in order.
// S_OK when published; S_FALSE when the attribute class is missing or cannot be
// created (nothing published); E_POINTER without a document; E_OUTOFMEMORY when
// a name or text cannot be allocated (what was put before stays put).
HRESULT KwPublishExifAttributes(IKwDocument* document, const JpegMetadata& metadata) noexcept;

// Replaces each axis of the given resolution, in dots per inch, with the one
// the EXIF block gives for the image (its first directory), where it gives a
// usable one: resolution over the unit's length in inches, the unit inch when
// none is stated. A resolution without a unit (code 1) is an aspect ratio,
// and, as for the JFIF density, 10 dots per inch or less counts as none.
void KwApplyExifResolution(const JpegMetadata& metadata, double* lpiX, double* lpiY) noexcept;

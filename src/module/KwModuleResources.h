// The library's resources on platforms where the build does not link them into
// the file: a table generated from the registration scripts and the version,
// handed to the platform at process attach and taken back at detach. Where the
// resource compiler links them (Windows), both calls do nothing.
#pragma once

#include "KwPlatform.h"

// The REGISTRY resources of the two filters' registration scripts (the same
// numbers stand in KwFilter_JPEG.rc, which the resource compiler reads).
constexpr WORD LoadFilterScriptResource = 102;
constexpr WORD SaveFilterScriptResource = 103;
// The string resource holding the library's name (also in KwFilter_JPEG.rc).
constexpr WORD LibraryNameResource = 100;

void KwAttachModuleResources(HMODULE module) noexcept;
void KwDetachModuleResources(HMODULE module) noexcept;

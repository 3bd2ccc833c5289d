// What the tests reach of the test build of the host engine: the call log and
// switches of an engine, and what it keeps of each stream and raster block.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "com/KwComPtr.h"
#include "KwHostCallLog.h"
#include "KwHostDoubleContext.h"
#include "KwHostStreamDouble.h"
#include "KwHostSwitches.h"

class KwHostEngine;
class KwHostRasterBlock;
class KwHostStream;

KwHostDoubleContext& KwHostDouble(KwHostContext& context) noexcept;
KwHostDoubleContext& KwHostDouble(const std::shared_ptr<KwHostContext>& context) noexcept;
KwHostDoubleContext& KwHostDouble(KwHostEngine& engine) noexcept;
// Throws std::bad_alloc.
KwHostStreamDouble& KwHostDouble(KwHostStream* stream);
// Where the object sits, as the call log names it ("document", `document/"Contents"/1`).
const std::string& KwHostLabel(const KwHostObject* object) noexcept;
// Every AddScanline1 call on the block, refused ones too, while the call log is enabled.
// Throws std::bad_alloc.
const std::vector<KwHostScanlineCall>& KwHostScanlineCalls(KwHostRasterBlock* block);

template <class T> auto KwHostDouble(const KwComPtr<T>& object) -> decltype(KwHostDouble(object.Get()))
{
    return KwHostDouble(object.Get());
}
template <class T> const std::vector<KwHostScanlineCall>& KwHostScanlineCalls(const KwComPtr<T>& block)
{
    return KwHostScanlineCalls(block.Get());
}

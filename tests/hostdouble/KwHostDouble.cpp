#include "KwHostDouble.h"

#include "engine/KwHostEngine.h"
#include "engine/KwHostRasterBlock.h"
#include "engine/KwHostStream.h"
#include "KwHostTrace.h"

// Every context of the test build is made by KwHostTrace::NewContext.
KwHostDoubleContext& KwHostDouble(KwHostContext& context) noexcept
{
    return static_cast<KwHostDoubleContext&>(context);
}

KwHostDoubleContext& KwHostDouble(const std::shared_ptr<KwHostContext>& context) noexcept
{
    return KwHostDouble(*context);
}

KwHostDoubleContext& KwHostDouble(KwHostEngine& engine) noexcept { return KwHostDouble(*engine.Context()); }

KwHostStreamDouble& KwHostDouble(KwHostStream* stream) { return KwHostDouble(stream->Context()).Stream(*stream); }

const std::string& KwHostLabel(const KwHostObject* object) noexcept { return KwHostTrace::Label(*object); }

const std::vector<KwHostScanlineCall>& KwHostScanlineCalls(KwHostRasterBlock* block)
{
    return KwHostDouble(block->Context()).ScanlineCalls(*block);
}

#include "KwFuzzHost.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostObject.h"
#include "com/KwModuleLock.h"
#include "KwPlatform.h"

namespace {

KwHostEngine* g_engine = nullptr;

// A fatal codec error while saving shows a message box; the fuzzer counts none.
int SilentMessageBox(void*, LPCSTR, LPCSTR, UINT) { return IDOK; }

} // namespace

void KwFuzzStart()
{
    if (g_engine) return;
    // The codec's own limit on whole-image buffers, lowered for the run: the
    // filter keeps the lower of this and its own bound.
    setenv("JPEGMEM", "16m", 0);
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    CoInitialize(nullptr);
    KwSetMessageBoxHandler(&SilentMessageBox, nullptr);
    g_engine = new KwHostEngine();
    if (FAILED(g_engine->Start())) {
        std::fprintf(stderr, "fuzz: the host engine did not start\n");
        std::abort();
    }
    g_engine->SetMaxRasterPixels(KwFuzzMaxRasterPixels);
    // Nothing reads the call log here; it would only grow.
    KwHostDouble(*g_engine).Log().SetEnabled(false);
}

KwHostEngine& KwFuzzEngine()
{
    KwFuzzStart();
    return *g_engine;
}

void KwFuzzCheckClean(const char* target)
{
    const LONG live = KwHostLiveObjects();
    const LONG locks = KwModuleLockCount();
    if (live != 0 || locks != 0) {
        std::fprintf(stderr, "%s: leak after the input: %d host objects, %d module locks\n", target,
                     static_cast<int>(live), static_cast<int>(locks));
        std::abort();
    }
}

void KwFuzzReader::Bytes(uint8_t* into, size_t count)
{
    const size_t take = count < Left() ? count : Left();
    if (take) std::memcpy(into, m_Data + m_At, take);
    if (count > take) std::memset(into + take, 0, count - take);
    m_At += take;
}

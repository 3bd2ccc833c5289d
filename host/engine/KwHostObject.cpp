#include "KwHostObject.h"

#include "KwHostContext.h"
#include "KwHostHooks.h"

namespace {
LONG volatile g_liveObjects = 0;
}

LONG KwHostLiveObjects() noexcept { return InterlockedCompareExchange(&g_liveObjects, 0, 0); }

KwHostObject::KwHostObject(std::shared_ptr<KwHostContext> context, std::string label, LONG objectType,
                           bool counted) noexcept
    : m_Context(std::move(context)), m_Label(std::move(label)), m_ObjectType(objectType), m_Counted(counted)
{
    if (m_Counted) InterlockedIncrement(&g_liveObjects);
}

KwHostObject::~KwHostObject()
{
    KW_HOST_GONE(*this);
    if (m_Counted) InterlockedDecrement(&g_liveObjects);
}

HRESULT KwHostObject::Answer(REFIID riid, void* found, void** ppv) noexcept
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!found) return E_NOINTERFACE;
    if (KW_HOST_OMITS(*this, riid)) return E_NOINTERFACE;
    AddRefObject();
    *ppv = found;
    return S_OK;
}

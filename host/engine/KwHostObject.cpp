#include "KwHostObject.h"

#include "KwHostContext.h"

namespace {
LONG volatile g_liveObjects = 0;
}

LONG KwHostLiveObjects() noexcept { return InterlockedCompareExchange(&g_liveObjects, 0, 0); }

KwHostObject::KwHostObject(std::shared_ptr<KwHostContext> context, LONG objectType, bool counted) noexcept
    : m_Context(std::move(context)), m_ObjectType(objectType), m_Counted(counted)
{
    if (m_Counted) InterlockedIncrement(&g_liveObjects);
}

KwHostObject::~KwHostObject()
{
    if (m_Counted) InterlockedDecrement(&g_liveObjects);
}

void KwHostObjectTraits::Destroy(KwHostObject* object) noexcept { delete object; }

#include "KwHostContext.h"

#include "KwHostHooks.h"

std::shared_ptr<KwHostContext> KwHostContext::Create() { return KW_HOST_NEW_CONTEXT(); }

std::shared_ptr<KwHostContext> KwHostContext::Ensure(std::shared_ptr<KwHostContext> context)
{
    return context ? context : Create();
}

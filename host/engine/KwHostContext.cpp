#include "KwHostContext.h"

#include "private/KwHostHooks.h"

std::shared_ptr<KwHostContext> KwHostContext::Create() { return std::make_shared<KwHostMade<KwHostContext>>(); }

std::shared_ptr<KwHostContext> KwHostContext::Ensure(std::shared_ptr<KwHostContext> context)
{
    return context ? context : Create();
}

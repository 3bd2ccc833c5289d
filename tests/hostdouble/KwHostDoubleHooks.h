// The engine's hook points as the test build of it (KW_HOST_DOUBLE) defines
// them: every call a filter makes is traced into the engine's call log, and the
// switches may fail, refuse, cut short or leave out what the tests choose.
#pragma once

#include "KwHostBody.h"
#include "KwHostOwnCalls.h"
#include "KwHostTrace.h"

#define KW_HOST_TRACE(Method, body, ...) KwHostTrace::Method(KwHostBody(body), __VA_ARGS__)
#define KW_HOST_FAULT(object, method)                                                                                 \
    if (HRESULT kwHostForced = S_OK; KwHostTrace::Fault(object, method, true, &kwHostForced)) return kwHostForced
#define KW_HOST_FORCED(object, method)                                                                                \
    if (HRESULT kwHostForced = S_OK; KwHostTrace::Fault(object, method, false, &kwHostForced)) return kwHostForced
#define KW_HOST_REFUSAL(object, objectType)                                                                           \
    if (HRESULT kwHostForced = S_OK; KwHostTrace::Refusal(object, objectType, &kwHostForced)) return kwHostForced
#define KW_HOST_OMITS(object, riid) KwHostTrace::Omits(object, riid)
#define KW_HOST_HIDES_ATTRIBUTE_CLASS(context) KwHostTrace::HidesAttributeClass(context)
#define KW_HOST_NEW_CONTEXT() KwHostTrace::NewContext()
#define KW_HOST_GONE(object) KwHostTrace::Gone(object)
#define KW_HOST_OWN_CALLS() KwHostOwnCalls kwHostOwnCalls

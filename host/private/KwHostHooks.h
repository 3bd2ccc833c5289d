// The points of the engine where a test build of it (tests/hostdouble, compiled
// with KW_HOST_DOUBLE) records the calls a filter makes and injects faults. In
// the engine built for hosts each point is the plain call or nothing; this
// header is private to the engine's sources and never installed.
#pragma once

#ifdef KW_HOST_DOUBLE
#include "KwHostDoubleHooks.h"
#else
#include <memory>

// The result of `body`, the method's work; the test build records the call with
// the arguments that follow (the object first).
#define KW_HOST_TRACE(Method, body, ...) (body)()
// A statement: the test build may return a failure from here ("Method" counted).
#define KW_HOST_FAULT(object, method) (void)(method)
// A statement: the test build may return the answer it forces on "Method" (not counted).
#define KW_HOST_FORCED(object, method)
// A statement in CreateChild: the test build may refuse this object type.
#define KW_HOST_REFUSAL(object, objectType)
// The test build may leave an interface out of QueryInterface.
#define KW_HOST_OMITS(object, riid) ((void)(riid), false)
// The test build may keep the attribute class unregistered.
#define KW_HOST_HIDES_ATTRIBUTE_CLASS(context) false
// The shared state of one engine's objects.
#define KW_HOST_NEW_CONTEXT() std::make_shared<KwHostContext>()
// The object is being destroyed.
#define KW_HOST_GONE(object) ((void)0)
// A statement: host calls made until the end of the scope are the host's own
// (reading a report), not a filter's.
#define KW_HOST_OWN_CALLS()
#endif

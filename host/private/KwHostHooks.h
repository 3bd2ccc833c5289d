// Where a test build of the engine (tests/hostdouble, compiled with
// KW_HOST_DOUBLE) comes in. The engine makes every object it hands out as
// KwHostMade<Class>; the test build makes a decorator over the class instead,
// which records the calls and injects faults at the interface methods, so the
// engine's own methods stay a host's. This header is private to the engine's
// sources and never installed.
#pragma once

#ifdef KW_HOST_DOUBLE
#include "hostdouble/KwHostDoubleHooks.h"
#else
// The type the engine makes for class T: T itself.
template <class T> using KwHostMade = T;
// The test build may keep the attribute class unregistered.
#define KW_HOST_HIDES_ATTRIBUTE_CLASS(context) false
// A statement: host calls made until the end of the scope are the host's own
// (reading a report), not a filter's.
#define KW_HOST_OWN_CALLS()
#endif

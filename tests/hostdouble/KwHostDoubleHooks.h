// The engine's hook points as the test build of it (KW_HOST_DOUBLE) defines
// them: every object the engine makes is its class's decorator (KwHostTraced.h),
// which traces the calls a filter makes into the engine's call log and lets the
// switches fail, refuse, cut short or leave out what the tests choose.
#pragma once

#include "KwHostOwnCalls.h"
#include "KwHostTraced.h"

template <class T> using KwHostMade = typename KwHostDoubleOf<T>::Type;
#define KW_HOST_HIDES_ATTRIBUTE_CLASS(context) KwHostTrace::HidesAttributeClass(context)
#define KW_HOST_OWN_CALLS() KwHostOwnCalls kwHostOwnCalls

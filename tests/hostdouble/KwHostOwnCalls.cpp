#include "KwHostOwnCalls.h"

namespace {
thread_local int t_Depth = 0;
}

KwHostOwnCalls::KwHostOwnCalls() noexcept { ++t_Depth; }

KwHostOwnCalls::~KwHostOwnCalls() { --t_Depth; }

bool KwHostOwnCalls::Active() noexcept { return t_Depth > 0; }

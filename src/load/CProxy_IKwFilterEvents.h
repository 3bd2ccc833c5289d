// The load filter's event source: the connection point for _IKwFilterEvents and
// the firing of its Progress event.
#pragma once

#include "com/KwConnectionPoint.h"

class CProxy_IKwFilterEvents : public KwConnectionPoint {
public:
    explicit CProxy_IKwFilterEvents(IConnectionPointContainer* container) noexcept;

    // Calls Progress on every connected sink in slot order, all with the same
    // Abort, which starts as VARIANT_FALSE; the caller sees the last value written.
    // Returns the last sink's result (S_OK with no sink).
    HRESULT Fire_Progress(LONG Progress, VARIANT_BOOL* Abort) noexcept;
};

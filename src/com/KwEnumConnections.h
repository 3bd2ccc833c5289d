// An enumerator over a snapshot of a connection point's sinks: each entry holds
// a counted sink and its cookie, in slot order at the time of the snapshot.
#pragma once

#include "KwEnumerator.h"

struct KwConnectDataCounting {
    static void AddRef(CONNECTDATA& entry) noexcept
    {
        if (entry.pUnk) entry.pUnk->AddRef();
    }
    static void Release(CONNECTDATA& entry) noexcept
    {
        if (entry.pUnk) entry.pUnk->Release();
    }
};

using KwEnumConnections = KwEnumerator<IEnumConnections, CONNECTDATA, KwConnectDataCounting>;

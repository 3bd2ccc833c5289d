// An enumerator over a container's connection points (the load filter has one).
#pragma once

#include "KwEnumerator.h"

struct KwConnectionPointCounting {
    static void AddRef(IConnectionPoint* point) noexcept
    {
        if (point) point->AddRef();
    }
    static void Release(IConnectionPoint* point) noexcept
    {
        if (point) point->Release();
    }
};

using KwEnumConnectionPoints = KwEnumerator<IEnumConnectionPoints, IConnectionPoint*, KwConnectionPointCounting>;

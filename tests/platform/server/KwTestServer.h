// The small in-process COM server the platform tests load through the registry.
#pragma once

#include "KwPlatform.h"

// {6A1F3C2E-9B7D-4E11-8C3A-5D2E7F90A1B4}
static const CLSID CLSID_KwTestServerObject = {
    0x6A1F3C2E, 0x9B7D, 0x4E11, {0x8C, 0x3A, 0x5D, 0x2E, 0x7F, 0x90, 0xA1, 0xB4}};
// {6A1F3C2E-9B7D-4E11-8C3A-5D2E7F90A1B5}: the object's own interface
static const IID IID_IKwTestServerObject = {
    0x6A1F3C2E, 0x9B7D, 0x4E11, {0x8C, 0x3A, 0x5D, 0x2E, 0x7F, 0x90, 0xA1, 0xB5}};

struct IKwTestServerObject : public IUnknown {
    // 1 for every object this server made; tells a registered stand-in (0) apart.
    virtual LONG STDMETHODCALLTYPE Origin() = 0;
    // The module handle DllMain saw at process attach.
    virtual HMODULE STDMETHODCALLTYPE AttachedModule() = 0;
};

// Exported by the server for the tests.
typedef LONG (*KwTestServerLiveObjectsFn)(void);

// The state of the library and the work of its four entry points: the class
// table with its cached class objects, the lock count for unloading, and
// self-registration from the classes' registration scripts.
//
// The object has no constructor work and no destructor, so a global instance
// is ready before the loader calls DllMain.
#pragma once

#include <cstddef>

#include "KwClassEntry.h"
#include "KwPlatform.h"

struct KwModuleDescription {
    KwClassEntry* Classes;
    size_t ClassCount;
    const GUID* Libid; // the type library registered after the classes
    WORD LibMajor;
    WORD LibMinor;
    const char* LibDescription;
};

class KwModule {
public:
    constexpr KwModule() noexcept = default;

    // Process attach: records the instance and the table, runs the start hooks.
    void Attach(HINSTANCE instance, const KwModuleDescription& description) noexcept;
    // Process detach: releases the cached class objects, runs the end hooks.
    void Detach() noexcept;

    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;
    HRESULT CanUnloadNow() noexcept;
    HRESULT RegisterServer() noexcept;
    HRESULT UnregisterServer() noexcept;

    HINSTANCE Instance() const noexcept { return m_Instance; }

    // The product version of a module file as "a.b.c.d", "0.0.0.0" when the
    // file has no readable version resource. `text` holds at least 24 characters.
    static HRESULT ReadProductVersion(LPCWSTR path, char* text, size_t size) noexcept;

private:
    HRESULT RunScript(WORD resource, bool registering) noexcept;

    HINSTANCE m_Instance = nullptr;
    KwModuleDescription m_Description = {};
    CRITICAL_SECTION m_ClassObjectLock = {};
    bool m_Attached = false;
};

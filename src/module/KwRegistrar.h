// The registrar: runs a registration script against the registry.
//
// Script language:
//   root    := ("HKCR" | "HKEY_CLASSES_ROOT" | "HKLM" | "HKEY_LOCAL_MACHINE") "{" key* "}"
//   key     := ["ForceRemove" | "NoRemove"] name [ "=" value ] [ "{" (key | named)* "}" ]
//   named   := "val" name "=" value
//   value   := "s" 'text' | "d" 'number'
// Names are words or quoted texts; a key name may not contain a backslash.
// %NAME% is replaced by the value of a replacement variable (names compared
// without regard to case) before the script is read; %% stands for one %.
//
// Registration creates keys where missing and writes values; a ForceRemove key
// is first deleted with its subtree, unless it is one of the system's
// top-level names that are never force-deleted. Removal deletes every named
// value of the script and every key after its listed content, when it has no
// subkeys left; NoRemove keys are never deleted, and a key that is missing is
// skipped together with everything listed inside it.
#pragma once

#include "com/KwMemory.h"
#include "KwPlatform.h"

// The registrar's answer to a script it cannot read, as registrars have always
// answered it (DISP_E_EXCEPTION).
constexpr HRESULT KW_E_REGISTRAR_SCRIPT = static_cast<HRESULT>(0x80020009);

class KwRegistrar {
public:
    static constexpr int MaxReplacements = 8;
    static constexpr int MaxDepth = 64;
    static constexpr size_t MaxKeyName = 255;

    KwRegistrar() noexcept = default;
    KwRegistrar(const KwRegistrar&) = delete;
    KwRegistrar& operator=(const KwRegistrar&) = delete;

    // Adds the variable `name` with `value`. Both texts are borrowed and must
    // outlive the runs. E_INVALIDARG for a null or empty name or a null value,
    // E_OUTOFMEMORY when the table is full.
    HRESULT AddReplacement(const char* name, const char* value) noexcept;

    // Runs `length` bytes of script text in registration or removal mode.
    HRESULT RegisterScript(const char* text, size_t length) noexcept { return Run(text, length, true); }
    HRESULT UnregisterScript(const char* text, size_t length) noexcept { return Run(text, length, false); }

    // True when `name` is one of the keys that ForceRemove never deletes.
    static bool IsProtectedKeyName(const char* name) noexcept;

private:
    struct Replacement {
        const char* Name;
        size_t NameLength;
        const char* Value;
        size_t ValueLength;
    };

    HRESULT Run(const char* text, size_t length, bool registering) noexcept;
    // The script with every variable replaced, zero-terminated.
    HRESULT Expand(const char* text, size_t length, KwBuffer<char>& expanded) noexcept;
    const Replacement* FindReplacement(const char* name, size_t length) const noexcept;

    Replacement m_Replacements[MaxReplacements] = {};
    int m_ReplacementCount = 0;
};

#pragma once

#include <memory>

// A registry of the test's own, empty, for HKEY_CLASSES_ROOT and
// HKEY_LOCAL_MACHINE as this process sees them, for the life of the object;
// the process's registry is back afterwards and what the test wrote is gone.
// Declare it first in a fixture so that everything else sees only the scratch
// registry. When the registry cannot be set aside the constructor fails the
// test fatally, so its body never runs against the real registry.
// Elsewhere a fresh registry file (ScopedRegistryFile); on Windows fresh keys
// under HKEY_CURRENT_USER\Software that stand in for both roots.
class ScopedScratchRegistry {
public:
    ScopedScratchRegistry();
    ~ScopedScratchRegistry();
    ScopedScratchRegistry(const ScopedScratchRegistry&) = delete;
    ScopedScratchRegistry& operator=(const ScopedScratchRegistry&) = delete;

private:
    struct State;
    std::unique_ptr<State> m_State;
};

// Elsewhere than on Windows the registry is a file: a fresh one per object.
#include "ScopedScratchRegistry.h"

#include "ScopedRegistryFile.h"

struct ScopedScratchRegistry::State {
    ScopedRegistryFile file;
};

ScopedScratchRegistry::ScopedScratchRegistry() : m_State(new State) {}

ScopedScratchRegistry::~ScopedScratchRegistry() = default;

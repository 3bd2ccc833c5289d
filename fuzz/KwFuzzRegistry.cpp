// Fuzz target: the registry file's text, which a person may edit. It must
// parse into a tree whose written form reads back, without a damaged line, to
// the same form.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "KwRegistryModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    kwposix::RegTree tree;
    kwposix::RegParse(text, tree);
    const std::string written = kwposix::RegSerialize(tree);
    // Every written line stands for a line of the text, at most four times as
    // long (a raw control character becomes an escape): a deep path read from
    // one line is written in one line, not once per level.
    if (written.size() > 4 * size + 64) {
        std::fprintf(stderr, "fuzz_registry: %zu bytes of text are written as %zu\n", size, written.size());
        std::abort();
    }
    kwposix::RegTree again;
    if (kwposix::RegParse(written, again) != 0 || kwposix::RegSerialize(again) != written) {
        std::fprintf(stderr, "fuzz_registry: the written file does not read back the same\n");
        std::abort();
    }
    return 0;
}

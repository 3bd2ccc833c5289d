// Fuzz target: the registry file's text, which a person may edit. It must
// parse into a tree whose written form reads back to the same form.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "KwRegistryModel.h"

namespace {

// About the size of the keys' header lines when written: every key of a deep
// path is written with its whole path, so this grows with the square of the
// depth (a path of 512 levels from a line of 1 KB writes 0.3 MB).
size_t HeaderBytes(const kwposix::RegKey& key, size_t pathBytes)
{
    size_t total = 0;
    for (const auto& child : key.children) {
        const size_t path = pathBytes + 1 + child.second->name.size();
        total += path + HeaderBytes(*child.second, path);
    }
    return total;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    kwposix::RegTree tree;
    kwposix::RegParse(text, tree);
    // Writing and reading back such a text only repeats the same lines, at a
    // great cost in time per input; the parse of the deep path is what counts.
    size_t headers = 0;
    for (const kwposix::RegKey& root : tree.roots) headers += HeaderBytes(root, 20);
    if (headers > 8 * size + 1024) return 0;
    const std::string written = kwposix::RegSerialize(tree);
    kwposix::RegTree again;
    kwposix::RegParse(written, again);
    if (kwposix::RegSerialize(again) != written) {
        std::fprintf(stderr, "fuzz_registry: the written file does not read back the same\n");
        std::abort();
    }
    return 0;
}

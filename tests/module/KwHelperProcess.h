// Runs the module test helper as a separate process with its own registry file.
#pragma once

#include <string>
#include <vector>

struct KwHelperResult {
    int exitCode = -1;
    std::string output; // standard output
};

// Runs `program` with `arguments`, KWPLATFORM_REGISTRY set to `registryFile`.
KwHelperResult KwRunProcess(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& registryFile);
// The module test helper (kwtest_module_helper).
KwHelperResult KwRunHelper(const std::vector<std::string>& arguments, const std::string& registryFile);
// A fresh, empty registry file for one test, in the build tree.
std::string KwFreshRegistryFile(const std::string& name);
// Removes a test's registry file and the lock file beside it.
void KwRemoveRegistryFile(const std::string& path);

// On Windows the roots are redirected for this process alone: the scratch keys
// live under HKEY_CURRENT_USER (never redirected here), so the real classes,
// such as the filter that regsvr32 registered, stay as they are.
#include "ScopedScratchRegistry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "KwPlatform.h"

namespace {

const char Parent[] = "Software\\KwFilter_JPEG tests";

// GoogleTest records a fatal failure made here; the object under construction
// then keeps the test from running.
void Redirect(HKEY root, const std::string& path, HKEY& scratch, bool& redirected)
{
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &scratch, nullptr))
        << path;
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(root, scratch)) << path;
    redirected = true;
}

} // namespace

struct ScopedScratchRegistry::State {
    std::string path; // under HKEY_CURRENT_USER
    HKEY classes = nullptr;
    HKEY machine = nullptr;
    bool classesRedirected = false;
    bool machineRedirected = false;
};

ScopedScratchRegistry::ScopedScratchRegistry() : m_State(new State)
{
    static std::atomic<unsigned> serial{0};
    State& s = *m_State;
    s.path = std::string(Parent) + "\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    Redirect(HKEY_CLASSES_ROOT, s.path + "\\HKCR", s.classes, s.classesRedirected);
    if (s.classesRedirected) Redirect(HKEY_LOCAL_MACHINE, s.path + "\\HKLM", s.machine, s.machineRedirected);
}

ScopedScratchRegistry::~ScopedScratchRegistry()
{
    State& s = *m_State;
    if (s.machineRedirected) {
        EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr));
    }
    if (s.classesRedirected) {
        EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr));
    }
    if (s.machine) RegCloseKey(s.machine);
    if (!s.classes) return; // nothing was made
    RegCloseKey(s.classes);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_CURRENT_USER, s.path.c_str())) << s.path;
    // The parent goes with the last process's keys; while others have keys there it stays.
    RegDeleteKeyA(HKEY_CURRENT_USER, Parent);
}

// The filter library as the thread test holds it: registered where
// CoCreateInstance finds it by ProgID, loaded once more by the test so that it
// can ask the library itself whether it may go, and looked for at the end
// without loading it again.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "KwPlatform.h"

class FilterLibrary {
public:
    FilterLibrary() = default;
    ~FilterLibrary();
    FilterLibrary(const FilterLibrary&) = delete;
    FilterLibrary& operator=(const FilterLibrary&) = delete;

    // Loads the library and makes it reachable by ProgID. Natively the built
    // library is registered into a registry file of the test's own (other test
    // processes start and stop engines in the suite's). On Windows regsvr32
    // registered the DLL before the suite ran, and other suites rely on that
    // registration: the test loads the server it names and changes nothing.
    ::testing::AssertionResult Open();
    // The library's DllCanUnloadNow, through the test's reference.
    HRESULT CanUnloadNow() const;
    // Lets go of the test's reference.
    void Close();
    // Whether the library is still mapped into the process; when it is, `canUnloadNow`
    // gets the answer of its DllCanUnloadNow.
    bool Loaded(HRESULT* canUnloadNow) const;

    // Whether CoFreeUnusedLibraries in a single-threaded apartment leaves a
    // library that may go loaded until its delay has passed. Windows unloads
    // it at once there; our runtime keeps one list for all apartments, so a
    // thread of another may still be returning through the library's code.
    static const bool FreeingWaits;

private:
    HMODULE m_Handle = nullptr;
    void (*m_CanUnloadNow)() = nullptr;
    std::string m_Path;       // the file loaded
    std::string m_Registry;   // natively: the test's registry file
    std::string m_Folder;     // natively: the folder that holds it
};

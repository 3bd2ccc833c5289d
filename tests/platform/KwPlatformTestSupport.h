// Helpers for the platform tests: a private registry file per test, a counted
// COM object, and running the helper process.
#pragma once

#include <gtest/gtest.h>

#include "KwPlatform.h"

#include <string>
#include <vector>

// Points the registry at a fresh file in a fresh folder for one test (ctest runs
// the cases of this suite in parallel processes), and back afterwards.
class ScopedRegistryFile {
public:
    ScopedRegistryFile();
    ~ScopedRegistryFile();
    const std::string& Path() const { return m_Path; }
    const std::string& Folder() const { return m_Folder; }
    std::string Text() const; // the file as it is on disk now

private:
    std::string m_Folder;
    std::string m_Path;
    std::string m_Previous;
    bool m_HadPrevious = false;
};

// An IDispatch that counts its references and fails the test on use after free.
class CountingDispatch : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    LONG refs = 1;
    bool destroyed = false; // set when the count reaches 0; the object itself stays for inspection
};

// Runs the registry helper with the given arguments; returns its exit code and
// fills `out` with what it printed.
int RunRegTool(const std::vector<std::string>& args, std::string* out = nullptr);
// Starts the helper without waiting; returns its pid.
int StartRegTool(const std::vector<std::string>& args);
int WaitProcess(int pid);
// The exit code of a finished process, or -1 while it runs (or if it died).
int PollProcess(int pid);

// Small registry conveniences for tests (HKEY_LOCAL_MACHINE / any root).
LSTATUS SetString(HKEY root, const std::string& path, const char* name, const std::string& value);
bool GetString(HKEY root, const std::string& path, const char* name, std::string& value);
bool KeyExists(HKEY root, const std::string& path);

// Helpers for the platform tests: a counted COM object, and running the helper
// process (ScopedRegistryFile gives each test its registry file).
#pragma once

#include <gtest/gtest.h>

#include "KwPlatform.h"
#include "common/ScopedRegistryFile.h"

#include <string>
#include <vector>

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

// Runs the registry helper with the given arguments (behind a command prefix,
// such as ScopedRegistryFile::DenyWrites gives); returns its exit code and
// fills `out` with what it printed.
int RunRegTool(const std::vector<std::string>& args, std::string* out = nullptr,
               const std::string& prefix = std::string());
// Starts the helper without waiting; returns its pid.
int StartRegTool(const std::vector<std::string>& args);
int WaitProcess(int pid);
// The exit code of a finished process, or -1 while it runs (or if it died).
int PollProcess(int pid);

// Small registry conveniences for tests (HKEY_LOCAL_MACHINE / any root).
LSTATUS SetString(HKEY root, const std::string& path, const char* name, const std::string& value);
bool GetString(HKEY root, const std::string& path, const char* name, std::string& value);
bool KeyExists(HKEY root, const std::string& path);

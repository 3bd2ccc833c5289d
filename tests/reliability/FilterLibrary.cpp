#include "FilterLibrary.h"

#include <cstdio>
#include <cstdlib>

namespace {

typedef HRESULT(STDMETHODCALLTYPE* EntryPoint)();

// Through void (*)(), the function pointer type that converts to any other without a warning.
void (*Export(HMODULE module, const char* name))()
{
    return reinterpret_cast<void (*)()>(GetProcAddress(module, name));
}

std::string Hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

} // namespace

HRESULT FilterLibrary::CanUnloadNow() const
{
    auto entry = reinterpret_cast<EntryPoint>(m_CanUnloadNow);
    return entry ? entry() : E_UNEXPECTED;
}

void FilterLibrary::Close()
{
    if (m_Handle) FreeLibrary(m_Handle);
    m_Handle = nullptr;
    m_CanUnloadNow = nullptr;
}

#if defined(_WIN32)

const bool FilterLibrary::FreeingWaits = false;

::testing::AssertionResult FilterLibrary::Open()
{
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"KwFilter_JPEG.KwFilterJPEG", &clsid);
    if (FAILED(hr))
        return ::testing::AssertionFailure() << "the filter is not registered (regsvr32): " << Hex(hr);
    wchar_t key[80] = L"CLSID\\";
    StringFromGUID2(clsid, key + 6, 40);
    wcscat(key, L"\\InprocServer32");
    wchar_t server[MAX_PATH] = {};
    DWORD size = sizeof(server) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ, nullptr, server, &size) != ERROR_SUCCESS)
        return ::testing::AssertionFailure() << "no InprocServer32 path";
    char narrow[MAX_PATH * 3] = {};
    WideCharToMultiByte(CP_UTF8, 0, server, -1, narrow, sizeof(narrow), nullptr, nullptr);
    m_Path = narrow;
    // A server of another name is not the library this build made.
    const std::string built = KW_FILTER_LIBRARY;
    const std::string builtName = built.substr(built.find_last_of("/\\") + 1);
    const std::string registeredName = m_Path.substr(m_Path.find_last_of("/\\") + 1);
    if (_stricmp(builtName.c_str(), registeredName.c_str()) != 0)
        return ::testing::AssertionFailure() << "the registered server " << m_Path << " is not " << builtName;
    m_Handle = LoadLibraryW(server);
    if (!m_Handle) return ::testing::AssertionFailure() << "LoadLibrary " << m_Path << " failed: " << GetLastError();
    m_CanUnloadNow = Export(m_Handle, "DllCanUnloadNow");
    if (!m_CanUnloadNow) return ::testing::AssertionFailure() << "no DllCanUnloadNow";
    return ::testing::AssertionSuccess();
}

bool FilterLibrary::Loaded(HRESULT* canUnloadNow) const
{
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_UTF8, 0, m_Path.c_str(), -1, wide, MAX_PATH);
    HMODULE module = GetModuleHandleW(wide);
    if (!module) return false;
    auto entry = reinterpret_cast<EntryPoint>(Export(module, "DllCanUnloadNow"));
    *canUnloadNow = entry ? entry() : E_NOTIMPL;
    return true;
}

FilterLibrary::~FilterLibrary() { Close(); }

#else

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

const bool FilterLibrary::FreeingWaits = true;

::testing::AssertionResult FilterLibrary::Open()
{
    char folder[] = "/tmp/kw-threads-XXXXXX";
    if (!mkdtemp(folder)) return ::testing::AssertionFailure() << "mkdtemp failed";
    m_Folder = folder;
    m_Registry = m_Folder + "/registry.reg";
    setenv("KWPLATFORM_REGISTRY", m_Registry.c_str(), 1);
    m_Path = KW_FILTER_LIBRARY;
    m_Handle = LoadLibraryA(m_Path.c_str());
    if (!m_Handle) return ::testing::AssertionFailure() << "cannot load " << m_Path;
    auto registerServer = reinterpret_cast<EntryPoint>(Export(m_Handle, "DllRegisterServer"));
    m_CanUnloadNow = Export(m_Handle, "DllCanUnloadNow");
    if (!registerServer || !m_CanUnloadNow) return ::testing::AssertionFailure() << "entry points missing";
    // One write of the file instead of one per value.
    if (KwRegistryBeginBatch() != ERROR_SUCCESS) return ::testing::AssertionFailure() << "no registry batch";
    const HRESULT hr = registerServer();
    if (KwRegistryEndBatch(TRUE) != ERROR_SUCCESS || hr != S_OK)
        return ::testing::AssertionFailure() << "DllRegisterServer: " << Hex(hr);
    return ::testing::AssertionSuccess();
}

bool FilterLibrary::Loaded(HRESULT* canUnloadNow) const
{
    void* loaded = dlopen(m_Path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!loaded) return false;
    auto entry = reinterpret_cast<EntryPoint>(dlsym(loaded, "DllCanUnloadNow"));
    *canUnloadNow = entry ? entry() : E_NOTIMPL;
    dlclose(loaded);
    return true;
}

FilterLibrary::~FilterLibrary()
{
    Close();
    if (m_Folder.empty()) return;
    unsetenv("KWPLATFORM_REGISTRY");
    std::remove(m_Registry.c_str());
    std::remove((m_Registry + ".lock").c_str());
    rmdir(m_Folder.c_str());
}

#endif

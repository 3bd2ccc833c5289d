#include "KwModule.h"

#include <cstdio>
#include <cstring>

#include "com/KwMemory.h"
#include "com/KwModuleLock.h"
#include "KwRegistrar.h"

namespace {

HRESULT LastErrorResult() noexcept
{
    DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// A path inside a quoted script text: a quote in it is doubled so that it
// stays part of the text.
bool EscapeQuotes(const char* in, char* out, size_t size) noexcept
{
    size_t at = 0;
    for (; *in; ++in) {
        size_t need = (*in == '\'') ? 2 : 1;
        if (at + need >= size) return false;
        out[at++] = *in;
        if (*in == '\'') out[at++] = '\'';
    }
    out[at] = '\0';
    return true;
}

} // namespace

void KwModule::Attach(HINSTANCE instance, const KwModuleDescription& description) noexcept
{
    m_Instance = instance;
    m_Description = description;
    InitializeCriticalSection(&m_ClassObjectLock);
    m_Attached = true;
    for (size_t i = 0; i < m_Description.ClassCount; ++i) {
        if (m_Description.Classes[i].StartHook) m_Description.Classes[i].StartHook();
    }
}

void KwModule::Detach() noexcept
{
    if (!m_Attached) return;
    for (size_t i = 0; i < m_Description.ClassCount; ++i) {
        KwClassEntry& entry = m_Description.Classes[i];
        if (KwClassFactory* factory = entry.ClassObject.exchange(nullptr)) factory->ReleaseCacheReference();
        if (entry.EndHook) entry.EndHook();
    }
    DeleteCriticalSection(&m_ClassObjectLock);
    m_Attached = false;
}

HRESULT KwModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!m_Attached) return CLASS_E_CLASSNOTAVAILABLE;
    KwClassEntry* entry = nullptr;
    for (size_t i = 0; i < m_Description.ClassCount; ++i) {
        if (IsEqualCLSID(rclsid, *m_Description.Classes[i].Clsid)) {
            entry = &m_Description.Classes[i];
            break;
        }
    }
    if (!entry) return CLASS_E_CLASSNOTAVAILABLE;

    KwClassFactory* factory = entry->ClassObject.load(std::memory_order_acquire);
    if (!factory) {
        EnterCriticalSection(&m_ClassObjectLock);
        factory = entry->ClassObject.load(std::memory_order_acquire);
        HRESULT hr = S_OK;
        if (!factory) {
            hr = KwClassFactory::Create(entry->Creator, &factory);
            if (SUCCEEDED(hr)) entry->ClassObject.store(factory, std::memory_order_release);
        }
        LeaveCriticalSection(&m_ClassObjectLock);
        if (FAILED(hr)) return hr;
    }
    return factory->QueryInterface(riid, ppv);
}

HRESULT KwModule::CanUnloadNow() noexcept { return KwModuleLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT KwModule::RegisterServer() noexcept
{
    for (size_t i = 0; i < m_Description.ClassCount; ++i) {
        HRESULT hr = RunScript(m_Description.Classes[i].RegistryResource, true);
        if (FAILED(hr)) return hr;
    }
    if (!m_Description.Libid) return S_OK;
    return KwRegisterModuleTypeLib(m_Instance, *m_Description.Libid, m_Description.LibMajor, m_Description.LibMinor,
                                   0, m_Description.LibDescription);
}

HRESULT KwModule::UnregisterServer() noexcept
{
    for (size_t i = 0; i < m_Description.ClassCount; ++i) {
        HRESULT hr = RunScript(m_Description.Classes[i].RegistryResource, false);
        if (FAILED(hr)) return hr;
    }
    if (!m_Description.Libid) return S_OK;
    return KwUnregisterModuleTypeLib(m_Instance, *m_Description.Libid, m_Description.LibMajor,
                                     m_Description.LibMinor, 0);
}

HRESULT KwModule::ReadProductVersion(LPCWSTR path, char* text, size_t size) noexcept
{
    if (!text || size < 24) return E_INVALIDARG;
    std::snprintf(text, size, "0.0.0.0");
    if (!path) return S_OK;
    DWORD handle = 0;
    DWORD length = GetFileVersionInfoSizeW(path, &handle);
    if (length == 0) return S_OK;
    KwBuffer<unsigned char> block = KwAllocateBuffer<unsigned char>(length);
    if (!block) return E_OUTOFMEMORY;
    void* root = nullptr;
    UINT rootLength = 0;
    const WCHAR rootBlock[] = {'\\', 0};
    if (GetFileVersionInfoW(path, 0, length, block.get()) &&
        VerQueryValueW(block.get(), rootBlock, &root, &rootLength) && root && rootLength >= sizeof(VS_FIXEDFILEINFO)) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, root, sizeof info);
        std::snprintf(text, size, "%u.%u.%u.%u", static_cast<unsigned>(HIWORD(info.dwProductVersionMS)),
                      static_cast<unsigned>(LOWORD(info.dwProductVersionMS)),
                      static_cast<unsigned>(HIWORD(info.dwProductVersionLS)),
                      static_cast<unsigned>(LOWORD(info.dwProductVersionLS)));
    }
    return S_OK;
}

HRESULT KwModule::RunScript(WORD resource, bool registering) noexcept
{
    // The path in characters, whatever the ANSI code page can represent; the
    // scripts carry it as UTF-8 and the registrar writes it back as wide text.
    WCHAR path[MAX_PATH];
    SetLastError(0);
    DWORD length = GetModuleFileNameW(m_Instance, path, MAX_PATH);
    if (length == 0) return LastErrorResult();
    if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    path[length] = 0;

    // Up to 3 bytes of UTF-8 per UTF-16 unit (a surrogate pair: 4 bytes for 2).
    char utf8Path[3 * MAX_PATH + 1];
    int utf8Length =
        WideCharToMultiByte(CP_UTF8, 0, path, -1, utf8Path, static_cast<int>(sizeof utf8Path), nullptr, nullptr);
    if (utf8Length <= 0) return LastErrorResult();
    char quotedPath[2 * sizeof utf8Path];
    if (!EscapeQuotes(utf8Path, quotedPath, sizeof quotedPath)) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    char version[32];
    HRESULT hr = ReadProductVersion(path, version, sizeof version);
    if (FAILED(hr)) return hr;

    HRSRC found = FindResourceA(m_Instance, MAKEINTRESOURCEA(resource), "REGISTRY");
    if (!found) return LastErrorResult();
    HGLOBAL loaded = LoadResource(m_Instance, found);
    const char* script = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!script) return LastErrorResult();
    DWORD scriptLength = SizeofResource(m_Instance, found);

    KwRegistrar registrar;
    hr = registrar.AddReplacement("Module", quotedPath);
    if (SUCCEEDED(hr)) hr = registrar.AddReplacement("Module_Raw", quotedPath);
    if (SUCCEEDED(hr)) hr = registrar.AddReplacement("VERSION", version);
    if (FAILED(hr)) return hr;
    return registering ? registrar.RegisterScript(script, scriptLength) : registrar.UnregisterScript(script, scriptLength);
}

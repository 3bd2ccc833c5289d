// The COM runtime: apartments as per-thread initialisation counts, the
// process's table of registered class objects, and in-process servers found
// through HKCR\CLSID\{clsid}\InprocServer32 and loaded with dlopen.
#include "KwPosixInternal.h"

#include <dlfcn.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// ---------------------------------------------------------------- apartments

struct ThreadApartment {
    DWORD Count = 0;
    DWORD Model = 0;
};
thread_local ThreadApartment t_apartment;

std::mutex g_apartmentMutex;
unsigned g_initialisedThreads = 0;
unsigned g_multithreadedThreads = 0; // members of the process's MTA

// A thread may use COM once it has joined an apartment, or, without one, while
// the process has a multithreaded apartment: Windows counts such a thread in
// that apartment (the implicit MTA).
bool ThreadMayUseCom()
{
    if (t_apartment.Count > 0) return true;
    std::lock_guard<std::mutex> lock(g_apartmentMutex);
    return g_multithreadedThreads > 0;
}

// ---------------------------------------------------------------- registered class objects

struct RegisteredClass {
    DWORD Cookie;
    CLSID Clsid;
    IUnknown* Object;
    DWORD Context;
    DWORD Flags;
    std::thread::id Owner;
    DWORD Model; // the owner's apartment: COINIT_APARTMENTTHREADED or COINIT_MULTITHREADED
};

std::mutex g_classMutex;
// Process-wide tables are never destroyed: libraries finalised after this one
// may still call in while the process exits.
std::vector<RegisteredClass>& g_classes = *new std::vector<RegisteredClass>; // first registered wins
DWORD g_nextCookie = 1;

// ---------------------------------------------------------------- loaded servers

typedef HRESULT (*DllGetClassObjectFn)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT (*DllCanUnloadNowFn)(void);

using Clock = std::chrono::steady_clock;

struct ServerLibrary {
    void* Handle = nullptr;
    DllGetClassObjectFn GetClassObject = nullptr;
    DllCanUnloadNowFn CanUnloadNow = nullptr;
    unsigned CallsInFlight = 0;        // runtime calls in the library now: never unload under them
    unsigned long long Uses = 0;       // calls the runtime has made into it so far
    bool Candidate = false;            // said it may go at MarkedAt, and not used since
    unsigned long long UsesAtMark = 0; // Uses when it was marked
    Clock::time_point MarkedAt;
};

std::recursive_mutex g_libraryMutex;
typedef std::map<std::string, ServerLibrary> ServerLibraries; // by canonical path
ServerLibraries& g_libraries = *new ServerLibraries;

// Holds a loaded server against unloading while the runtime uses it; a use
// restarts the delay of a server marked for unloading.
class ServerPin {
public:
    ServerPin() = default;
    ServerPin(const ServerPin&) = delete;
    ServerPin& operator=(const ServerPin&) = delete;
    ~ServerPin() { Release(); }

    void Hold(ServerLibrary& lib) // once, under g_libraryMutex
    {
        ++lib.CallsInFlight;
        ++lib.Uses;
        m_Library = &lib; // map nodes stay put while the count holds them
    }
    void Release()
    {
        if (!m_Library) return;
        std::lock_guard<std::recursive_mutex> lock(g_libraryMutex);
        --m_Library->CallsInFlight;
        m_Library = nullptr;
    }

private:
    ServerLibrary* m_Library = nullptr;
};

// A thread whose last Release let a library go may still be returning through
// its code: a library that says it may go is first marked, and unloaded only
// when it still says so `delay` later and nothing has used it meanwhile.
// One without DllCanUnloadNow stays, as on Windows.
void UnloadUnusedServers(Clock::duration delay)
{
    struct Probe {
        ServerLibraries::iterator Library;
        DllCanUnloadNowFn CanUnloadNow;
        unsigned long long Uses;
        HRESULT Answer;
    };
    std::vector<Probe> probes;
    {
        std::lock_guard<std::recursive_mutex> lock(g_libraryMutex);
        try {
            probes.reserve(g_libraries.size());
        } catch (...) {
            return; // out of memory: nothing is unloaded this time
        }
        for (auto it = g_libraries.begin(); it != g_libraries.end(); ++it) {
            if (!it->second.CanUnloadNow) continue;
            ++it->second.CallsInFlight; // kept while it is asked
            probes.push_back({it, it->second.CanUnloadNow, it->second.Uses, S_FALSE});
        }
    }
    // Asked without the lock: a thread in the library may be calling the runtime.
    for (Probe& probe : probes) probe.Answer = probe.CanUnloadNow();
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::recursive_mutex> lock(g_libraryMutex);
    for (Probe& probe : probes) {
        ServerLibrary& lib = probe.Library->second;
        --lib.CallsInFlight;
        if (probe.Answer != S_OK || lib.Uses != probe.Uses) { // busy, or used while it answered
            lib.Candidate = false;
            continue;
        }
        if (!lib.Candidate || lib.UsesAtMark != lib.Uses) {
            lib.Candidate = true;
            lib.UsesAtMark = lib.Uses;
            lib.MarkedAt = now;
        }
        if (lib.CallsInFlight == 0 && now - lib.MarkedAt >= delay) {
            dlclose(lib.Handle); // under the lock: no thread loads it through the runtime meanwhile
            g_libraries.erase(probe.Library);
        }
    }
}

void RevokeClassesOf(std::thread::id owner)
{
    std::vector<IUnknown*> released;
    {
        std::lock_guard<std::mutex> lock(g_classMutex);
        for (auto it = g_classes.begin(); it != g_classes.end();) {
            if (it->Owner == owner) {
                released.push_back(it->Object);
                it = g_classes.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (IUnknown* object : released) object->Release();
}

// The apartment model of the calling thread; a thread without an apartment of
// its own is in the process's multithreaded one (see ThreadMayUseCom).
DWORD ThreadModel()
{
    return t_apartment.Count > 0 ? t_apartment.Model : DWORD(COINIT_MULTITHREADED);
}

// The class object registered in this process for the class and context, AddRef'd.
// As on Windows, a registration serves its own apartment only: the registering
// thread when that is single-threaded, every thread of the multithreaded one.
IUnknown* FindRegisteredClass(REFCLSID clsid, DWORD context)
{
    const DWORD model = ThreadModel();
    const std::thread::id self = std::this_thread::get_id();
    std::lock_guard<std::mutex> lock(g_classMutex);
    for (const RegisteredClass& entry : g_classes) {
        if (entry.Model != model || (model == COINIT_APARTMENTTHREADED && entry.Owner != self)) continue;
        DWORD served = entry.Context;
        // A multiple-use local server registration also serves in-process requests.
        if ((entry.Flags & REGCLS_MULTIPLEUSE) && (served & CLSCTX_LOCAL_SERVER)) served |= CLSCTX_INPROC_SERVER;
        if (IsEqualCLSID(entry.Clsid, clsid) && (served & context)) {
            entry.Object->AddRef();
            return entry.Object;
        }
    }
    return nullptr;
}

std::string ClsidKeyPath(REFCLSID clsid)
{
    OLECHAR text[40];
    StringFromGUID2(clsid, text, 40);
    return "CLSID\\" + kwposix::Narrow(text);
}

// A registry string value, expanded (%NAME% from the environment) for REG_EXPAND_SZ.
bool ReadStringValue(HKEY root, const std::string& keyPath, const char* valueName, std::string& out)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    bool ok = RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
              (type == REG_SZ || type == REG_EXPAND_SZ);
    std::vector<BYTE> data;
    if (ok) {
        data.resize(size + 1);
        ok = RegQueryValueExA(key, valueName, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    if (!ok) return false;
    data.resize(size);
    out.assign(reinterpret_cast<const char*>(data.data()), strnlen(reinterpret_cast<const char*>(data.data()), size));
    if (type == REG_EXPAND_SZ) {
        std::string expanded;
        for (size_t i = 0; i < out.size(); ++i) {
            const size_t close = out[i] == '%' ? out.find('%', i + 1) : std::string::npos;
            if (close == std::string::npos || close == i + 1) {
                expanded += out[i];
                continue;
            }
            const char* env = std::getenv(out.substr(i + 1, close - i - 1).c_str());
            if (env) {
                expanded += env;
                i = close;
            } else {
                expanded += out[i]; // unknown names stay as written, as on Windows
            }
        }
        out = expanded;
    }
    return true;
}

// The server library of a path, loaded on first use; null with the failure in `hr`.
ServerLibrary* LoadServer(const std::string& path, HRESULT& hr)
{
    const std::string canonical = kwposix::CanonicalPath(path);
    auto it = g_libraries.find(canonical);
    if (it != g_libraries.end()) return &it->second;
    void* handle = dlopen(canonical.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        hr = CO_E_DLLNOTFOUND;
        return nullptr;
    }
    // Only the library's own exports count, not those of what it links against.
    const HMODULE base = [&]() -> HMODULE {
        Dl_info info{};
        void* anchor = dlsym(handle, "DllGetClassObject");
        return anchor && dladdr(anchor, &info) ? static_cast<HMODULE>(info.dli_fbase) : nullptr;
    }();
    auto ownSymbol = [&](const char* name) -> void* {
        void* symbol = dlsym(handle, name);
        return symbol && KwModuleHandleFromAddress(symbol) == base ? symbol : nullptr;
    };
    ServerLibrary lib;
    lib.Handle = handle;
    std::string ownPath;
    if (base && kwposix::ModulePath(base, ownPath) && kwposix::CanonicalPath(ownPath) == canonical) {
        lib.GetClassObject = reinterpret_cast<DllGetClassObjectFn>(ownSymbol("DllGetClassObject"));
        lib.CanUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(ownSymbol("DllCanUnloadNow"));
    }
    if (!lib.GetClassObject) {
        dlclose(handle);
        hr = CO_E_ERRORINDLL;
        return nullptr;
    }
    return &(g_libraries[canonical] = lib);
}

// The class object from the class's server, which `pin` holds until the caller is done with it.
HRESULT GetClassObjectFromServer(REFCLSID rclsid, REFIID riid, LPVOID* ppv, ServerPin& pin)
{
    std::string path;
    HKEY classKey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ClsidKeyPath(rclsid).c_str(), 0, KEY_READ, &classKey) != ERROR_SUCCESS)
        return REGDB_E_CLASSNOTREG;
    RegCloseKey(classKey);
    if (!ReadStringValue(HKEY_CLASSES_ROOT, ClsidKeyPath(rclsid) + "\\InprocServer32", nullptr, path))
        return REGDB_E_CLASSNOTREG;
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    if (path.empty()) return REGDB_E_CLASSNOTREG;

    HRESULT hr = S_OK;
    DllGetClassObjectFn entry;
    {
        std::lock_guard<std::recursive_mutex> lock(g_libraryMutex);
        ServerLibrary* lib = LoadServer(path, hr);
        if (!lib) return hr;
        pin.Hold(*lib);
        entry = lib->GetClassObject;
    }
    return entry(rclsid, riid, ppv);
}

// CoGetClassObject, with the server it calls held by `pin`.
HRESULT GetClassObject(REFCLSID rclsid, DWORD dwClsContext, REFIID riid, LPVOID* ppv, ServerPin& pin)
{
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!ThreadMayUseCom()) return CO_E_NOTINITIALIZED;
    if (IUnknown* registered = FindRegisteredClass(rclsid, dwClsContext)) {
        HRESULT hr = registered->QueryInterface(riid, ppv);
        registered->Release();
        return hr;
    }
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG; // no other servers here
    try {
        return GetClassObjectFromServer(rclsid, riid, ppv, pin);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CLSIDFromProgIDDepth(const std::string& progId, LPCLSID clsid, int depth)
{
    if (progId.empty() || progId.find('\\') != std::string::npos || depth > 8) return CO_E_CLASSSTRING;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, progId.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return CO_E_CLASSSTRING;
    RegCloseKey(key);
    std::string text;
    if (ReadStringValue(HKEY_CLASSES_ROOT, progId + "\\CLSID", nullptr, text)) {
        std::u16string wide = kwposix::Widen(text);
        if (wide.empty() || wide[0] != u'{' || FAILED(CLSIDFromString(wide.c_str(), clsid))) {
            *clsid = CLSID_NULL;
            return CO_E_CLASSSTRING;
        }
        return S_OK;
    }
    // A version-independent ProgID may name its current version instead.
    if (ReadStringValue(HKEY_CLASSES_ROOT, progId + "\\CurVer", nullptr, text))
        return CLSIDFromProgIDDepth(text, clsid, depth + 1);
    return REGDB_E_CLASSNOTREG;
}

} // namespace

KWPLATFORM_API HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit)
{
    if (pvReserved) return E_INVALIDARG;
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    if (t_apartment.Count > 0) {
        if (t_apartment.Model != model) return RPC_E_CHANGED_MODE;
        ++t_apartment.Count;
        return S_FALSE;
    }
    t_apartment.Count = 1;
    t_apartment.Model = model;
    std::lock_guard<std::mutex> lock(g_apartmentMutex);
    ++g_initialisedThreads;
    if (model == COINIT_MULTITHREADED) ++g_multithreadedThreads;
    return S_OK;
}

KWPLATFORM_API HRESULT CoInitialize(LPVOID)
{
    return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

KWPLATFORM_API void CoUninitialize(void)
{
    if (t_apartment.Count == 0) return;
    if (--t_apartment.Count > 0) return;
    // The apartment ends: its class registrations go with it.
    RevokeClassesOf(std::this_thread::get_id());
    bool last;
    {
        std::lock_guard<std::mutex> lock(g_apartmentMutex);
        last = --g_initialisedThreads == 0;
        if (t_apartment.Model == COINIT_MULTITHREADED) --g_multithreadedThreads;
    }
    // Windows unloads every server here; one that still has live objects is
    // kept, so that their later Release does not call into unmapped code.
    if (last) UnloadUnusedServers(Clock::duration::zero());
}

KWPLATFORM_API HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                                             LPDWORD lpdwRegister)
{
    if (!pUnk || !lpdwRegister) return E_INVALIDARG;
    *lpdwRegister = 0;
    if (!ThreadMayUseCom()) return CO_E_NOTINITIALIZED;
    try {
        std::lock_guard<std::mutex> lock(g_classMutex);
        RegisteredClass entry{g_nextCookie, rclsid, pUnk, dwClsContext, flags, std::this_thread::get_id(),
                              ThreadModel()};
        g_classes.push_back(entry);
        pUnk->AddRef();
        *lpdwRegister = g_nextCookie;
        if (++g_nextCookie == 0) g_nextCookie = 1; // 0 is never a cookie
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

KWPLATFORM_API HRESULT CoRevokeClassObject(DWORD dwRegister)
{
    // As on Windows, a thread outside every apartment reaches no registration.
    if (!ThreadMayUseCom()) return CO_E_NOTINITIALIZED;
    IUnknown* object = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_classMutex);
        for (auto it = g_classes.begin(); it != g_classes.end(); ++it) {
            if (it->Cookie == dwRegister) {
                object = it->Object;
                g_classes.erase(it);
                break;
            }
        }
    }
    if (!object) return CO_E_OBJNOTREG;
    object->Release(); // outside the lock: the object may call back in
    return S_OK;
}

KWPLATFORM_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv)
{
    ServerPin pin;
    return GetClassObject(rclsid, dwClsContext, riid, ppv, pin);
}

KWPLATFORM_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                                        LPVOID* ppv)
{
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    ServerPin pin; // the factory's own count does not keep its library loaded
    HRESULT hr = GetClassObject(rclsid, dwClsContext, IID_IClassFactory, reinterpret_cast<void**>(&factory), pin);
    if (FAILED(hr)) return hr;
    if (!factory) return E_NOINTERFACE;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

KWPLATFORM_API void CoFreeUnusedLibraries(void)
{
    CoFreeUnusedLibrariesEx(INFINITE, 0);
}

KWPLATFORM_API void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD)
{
    constexpr std::chrono::minutes DefaultUnloadDelay{10}; // as on Windows
    UnloadUnusedServers(dwUnloadDelay == INFINITE ? Clock::duration(DefaultUnloadDelay)
                                                  : Clock::duration(std::chrono::milliseconds(dwUnloadDelay)));
}

KWPLATFORM_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid)
{
    if (!lpszProgID || !lpclsid) return E_INVALIDARG;
    try {
        HRESULT hr = CLSIDFromProgIDDepth(kwposix::Narrow(lpszProgID), lpclsid, 0);
        if (FAILED(hr)) *lpclsid = CLSID_NULL;
        return hr;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

// A separate process for the registration tests: registers or unregisters a
// library, creates classes by ProgID through the COM runtime and prints
// registry subtrees, so that each step can run in its own process against the
// registry file named by KWPLATFORM_REGISTRY.
//
//   kwtest_module_helper (register LIB | unregister LIB | create PROGID | dump PATH | set PATH[|NAME|VALUE])...
//
// Every command prints one line "<command> <argument> -> 0x<HRESULT> [detail]"
// (dump prints the subtree, or "missing PATH").
#include <cstdio>
#include <cstring>
#include <string>

#include "com/KwComPtr.h"
#include "interfaces/KwFilterInterfaces.h"
#include "module/KwRegistryDump.h"

namespace {

typedef HRESULT(STDMETHODCALLTYPE* EntryPoint)();

HRESULT CallEntryPoint(const char* library, const char* name)
{
    HMODULE module = LoadLibraryA(library);
    if (!module) return HRESULT_FROM_WIN32(GetLastError());
    EntryPoint entry = reinterpret_cast<EntryPoint>(GetProcAddress(module, name));
    HRESULT hr = entry ? entry() : E_NOTIMPL;
    FreeLibrary(module);
    return hr;
}

HRESULT CreateByProgId(const char* progId, std::string& detail)
{
    std::u16string wide;
    for (const char* p = progId; *p; ++p) wide.push_back(static_cast<char16_t>(*p));
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(wide.c_str()), &clsid);
    if (FAILED(hr)) return hr;
    KwComPtr<IUnknown> object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(object.Receive()));
    if (FAILED(hr)) return hr;
    KwComPtr<IKwFilter> filter;
    KwComPtr<IKwFilterSave> save;
    if (SUCCEEDED(KwQuery(object.Get(), filter.Receive()))) {
        detail = "IKwFilter";
    } else if (SUCCEEDED(KwQuery(object.Get(), save.Receive()))) {
        detail = "IKwFilterSave";
    } else {
        detail = "neither";
    }
    return S_OK;
}

} // namespace

int main(int argc, char** argv)
{
    CoInitialize(nullptr);
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::string command = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s: missing argument\n", command.c_str());
            status = 2;
            break;
        }
        const char* argument = argv[++i];
        HRESULT hr = S_OK;
        std::string detail;
        if (command == "register") {
            hr = CallEntryPoint(argument, "DllRegisterServer");
        } else if (command == "unregister") {
            hr = CallEntryPoint(argument, "DllUnregisterServer");
        } else if (command == "create") {
            hr = CreateByProgId(argument, detail);
            CoFreeUnusedLibrariesEx(0, 0); // the next create loads the library afresh, as another process would
        } else if (command == "dump") {
            std::string text = KwDumpRegistry(argument);
            std::fputs(text.empty() ? ("missing " + std::string(argument) + "\n").c_str() : text.c_str(), stdout);
            continue;
        } else if (command == "set") {
            // PATH, or PATH|NAME|VALUE for a string value (an empty NAME is the default value).
            std::string setting = argument;
            size_t bar = setting.find('|');
            size_t bar2 = bar == std::string::npos ? bar : setting.find('|', bar + 1);
            bool ok;
            if (bar2 == std::string::npos) {
                ok = KwCreateRegistryPath(setting);
            } else {
                std::string name = setting.substr(bar + 1, bar2 - bar - 1);
                ok = KwCreateRegistryPath(setting.substr(0, bar), name.c_str(), setting.substr(bar2 + 1).c_str());
            }
            hr = ok ? S_OK : E_FAIL;
        } else {
            std::fprintf(stderr, "unknown command %s\n", command.c_str());
            status = 2;
            break;
        }
        std::printf("%s %s -> 0x%08X%s%s\n", command.c_str(), argument, static_cast<unsigned>(hr),
                    detail.empty() ? "" : " ", detail.c_str());
    }
    std::fflush(stdout);
    CoUninitialize();
    return status;
}

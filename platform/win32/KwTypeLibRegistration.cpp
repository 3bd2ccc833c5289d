// Type-library registration of a module on Windows: the system does the work.
// The library's identity (LIBID, version, locale, platform kind) is read from
// the TYPELIB resource itself, so the arguments that the other platforms need
// to write the keys by hand are not used here.
#include "KwPlatform.h"

#include <vector>

namespace {

// The full path of a module file, however long.
HRESULT KwModulePath(HMODULE module, std::vector<wchar_t>& path) noexcept
{
    try {
        for (DWORD size = MAX_PATH + 1; size <= 32768 * 2; size *= 2) {
            path.assign(size, L'\0');
            DWORD n = GetModuleFileNameW(module, path.data(), size);
            if (n == 0) {
                DWORD error = GetLastError();
                return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
            }
            if (n < size) return S_OK;  // fitted, terminated
        }
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

// Loads TYPELIB resource 1 of the module file without registering it.
HRESULT KwLoadModuleTypeLib(HMODULE module, std::vector<wchar_t>& path, ITypeLib** lib) noexcept
{
    *lib = nullptr;
    HRESULT hr = KwModulePath(module, path);
    if (FAILED(hr)) return hr;
    return LoadTypeLibEx(path.data(), REGKIND_NONE, lib);
}

}  // namespace

KWPLATFORM_API HRESULT KwRegisterModuleTypeLib(HMODULE module, REFGUID /*libid*/, WORD /*major*/, WORD /*minor*/,
                                               LCID /*lcid*/, LPCSTR /*description*/)
{
    std::vector<wchar_t> path;
    ITypeLib* lib = nullptr;
    HRESULT hr = KwLoadModuleTypeLib(module, path, &lib);
    if (FAILED(hr)) return hr;
    // The library names no help file: no help directory.
    hr = RegisterTypeLib(lib, path.data(), nullptr);
    lib->Release();
    return hr;
}

KWPLATFORM_API HRESULT KwUnregisterModuleTypeLib(HMODULE module, REFGUID /*libid*/, WORD /*major*/, WORD /*minor*/,
                                                 LCID /*lcid*/)
{
    std::vector<wchar_t> path;
    ITypeLib* lib = nullptr;
    HRESULT hr = KwLoadModuleTypeLib(module, path, &lib);
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = lib->GetLibAttr(&attr);
    if (SUCCEEDED(hr)) {
        // Exactly the registration that RegisterTypeLib made for this library.
        hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        lib->ReleaseTLibAttr(attr);
    }
    lib->Release();
    return hr;
}

#include "KwHostFileStream.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "KwHostContext.h"
#include "private/KwHostHooks.h"

HRESULT KwHostFileStream::Open(const std::string& path, KwHostFileMode mode, KwHostFileStream** out,
                               std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    KW_HOST_TRY
    KwHostFileStream* stream = new KwHostMade<KwHostFileStream>(KwHostContext::Ensure(std::move(context)));
    std::ios_base::openmode how = std::ios_base::binary;
    switch (mode) {
    case KwHostFileMode::Read: how |= std::ios_base::in; break;
    case KwHostFileMode::Write: how |= std::ios_base::in | std::ios_base::out | std::ios_base::trunc; break;
    case KwHostFileMode::ReadWrite: how |= std::ios_base::in | std::ios_base::out; break;
    }
    try {
        stream->m_Path = path;
        stream->m_Mode = mode;
    } catch (...) {
        stream->Release();
        throw;
    }
    // A UTF-8 name reaches the system's wide calls on Windows.
    const std::filesystem::path native = std::filesystem::u8path(path);
    if (!stream->m_File.open(native, how)) {
        stream->Release();
        // What is missing, or else what is not allowed: asked of the file system,
        // as a file stream does not say why it could not open.
        std::error_code error;
        if (mode == KwHostFileMode::Read) return std::filesystem::exists(native, error) ? STG_E_ACCESSDENIED : STG_E_FILENOTFOUND;
        const std::filesystem::path folder = native.has_parent_path() ? native.parent_path() : std::filesystem::path(".");
        return std::filesystem::is_directory(folder, error) ? STG_E_ACCESSDENIED : STG_E_PATHNOTFOUND;
    }
    *out = stream;
    return S_OK;
    KW_HOST_CATCH
}

HRESULT KwHostFileStream::ReadAt(ULONGLONG position, void* pv, ULONG cb, ULONG* done) noexcept
{
    *done = 0;
    try {
        // Every access seeks first: it also switches the file between reading and writing.
        if (m_File.pubseekpos(static_cast<std::streamoff>(position), std::ios_base::in) ==
            std::streampos(std::streamoff(-1)))
            return STG_E_READFAULT;
        std::streamsize n = m_File.sgetn(static_cast<char*>(pv), static_cast<std::streamsize>(cb));
        *done = n > 0 ? static_cast<ULONG>(n) : 0;
    } catch (...) {
        return STG_E_READFAULT;
    }
    return S_OK;
}

HRESULT KwHostFileStream::WriteAt(ULONGLONG position, const void* pv, ULONG cb, ULONG* done) noexcept
{
    *done = 0;
    errno = 0;
    HRESULT hr = S_OK;
    try {
        if (m_File.pubseekpos(static_cast<std::streamoff>(position), std::ios_base::out) ==
            std::streampos(std::streamoff(-1))) {
            hr = STG_E_WRITEFAULT;
        } else {
            std::streamsize n = m_File.sputn(static_cast<const char*>(pv), static_cast<std::streamsize>(cb));
            *done = n > 0 ? static_cast<ULONG>(n) : 0;
            if (m_File.pubsync() != 0) hr = STG_E_WRITEFAULT;
            else if (*done != cb) hr = STG_E_MEDIUMFULL;
        }
    } catch (...) {
        hr = STG_E_WRITEFAULT;
    }
    if (FAILED(hr) && !m_WriteFailure[0]) m_WriteFailure = errno ? std::strerror(errno) : "short write";
    return hr;
}

HRESULT KwHostFileStream::StoreSize(ULONGLONG* size) noexcept
{
    *size = 0;
    try {
        std::streampos end = m_File.pubseekoff(0, std::ios_base::end, Readable() ? std::ios_base::in : std::ios_base::out);
        if (end == std::streampos(std::streamoff(-1))) return STG_E_INVALIDFUNCTION;
        *size = static_cast<ULONGLONG>(static_cast<std::streamoff>(end));
    } catch (...) {
        return STG_E_INVALIDFUNCTION;
    }
    return S_OK;
}

HRESULT KwHostFileStream::Resize(ULONGLONG size) noexcept
{
    try {
        if (m_File.pubsync() != 0) return STG_E_WRITEFAULT;
        std::error_code error;
        std::filesystem::resize_file(std::filesystem::u8path(m_Path), static_cast<std::uintmax_t>(size), error);
        if (error) return STG_E_WRITEFAULT;
    } catch (...) {
        return STG_E_WRITEFAULT;
    }
    return S_OK;
}

DWORD KwHostFileStream::Mode() const noexcept
{
    switch (m_Mode) {
    case KwHostFileMode::Read: return STGM_READ;
    case KwHostFileMode::Write: return STGM_WRITE;
    default: return STGM_READWRITE;
    }
}

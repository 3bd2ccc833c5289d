// A stream over a file, opened for reading, for writing (created or emptied),
// or for both (an existing file).
#pragma once

#include <fstream>
#include <string>

#include "KwHostStream.h"

enum class KwHostFileMode { Read, Write, ReadWrite };

class KwHostFileStream : public KwHostStream {
public:
    // `path` is UTF-8. STG_E_FILENOTFOUND when a file to read cannot be opened, STG_E_ACCESSDENIED when
    // a file to write cannot be created.
    static HRESULT Open(const std::string& path, KwHostFileMode mode, KwHostFileStream** out,
                        std::shared_ptr<KwHostContext> context = nullptr) noexcept;

    const std::string& Path() const noexcept { return m_Path; }
    // The system's reason for the first write that failed ("File too large"), or
    // empty: the filter passes on only that its save failed.
    const char* WriteFailure() const noexcept { return m_WriteFailure; }

protected:
    HRESULT ReadAt(ULONGLONG position, void* pv, ULONG cb, ULONG* done) noexcept override;
    HRESULT WriteAt(ULONGLONG position, const void* pv, ULONG cb, ULONG* done) noexcept override;
    HRESULT StoreSize(ULONGLONG* size) noexcept override;
    HRESULT Resize(ULONGLONG size) noexcept override;
    bool Readable() const noexcept override { return m_Mode != KwHostFileMode::Write; }
    bool Writable() const noexcept override { return m_Mode != KwHostFileMode::Read; }
    DWORD Mode() const noexcept override;
    std::string StoreName() const override { return m_Path; }
    using KwHostStream::KwHostStream;

private:
    std::filebuf m_File;
    std::string m_Path;
    KwHostFileMode m_Mode = KwHostFileMode::Read;
    const char* m_WriteFailure = "";
};

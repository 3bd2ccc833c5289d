// A readable and writable stream over a growable byte vector that the host reads back.
#pragma once

#include <string>
#include <vector>

#include "KwHostStream.h"

class KwHostMemoryStream : public KwHostStream {
public:
    // A stream holding a copy of `size` bytes at `data` (none when null), positioned at 0.
    static HRESULT Create(const void* data, size_t size, KwHostMemoryStream** out,
                          std::shared_ptr<KwHostContext> context = nullptr) noexcept;
    static HRESULT Create(const std::vector<unsigned char>& bytes, KwHostMemoryStream** out,
                          std::shared_ptr<KwHostContext> context = nullptr) noexcept
    {
        return Create(bytes.data(), bytes.size(), out, std::move(context));
    }

    const std::vector<unsigned char>& Bytes() const noexcept { return m_Bytes; }
    std::vector<unsigned char>& MutableBytes() noexcept { return m_Bytes; }
    // The name Stat reports (none by default).
    void SetName(const std::string& name) { m_Name = name; }
    // Writes that would grow the stream past this size are refused with STG_E_MEDIUMFULL.
    void SetMaxSize(ULONGLONG size) noexcept { m_MaxSize = size; }

protected:
    HRESULT ReadAt(ULONGLONG position, void* pv, ULONG cb, ULONG* done) noexcept override;
    HRESULT WriteAt(ULONGLONG position, const void* pv, ULONG cb, ULONG* done) noexcept override;
    HRESULT StoreSize(ULONGLONG* size) noexcept override;
    HRESULT Resize(ULONGLONG size) noexcept override;
    bool Readable() const noexcept override { return true; }
    bool Writable() const noexcept override { return true; }
    DWORD Mode() const noexcept override { return STGM_READWRITE; }
    std::string StoreName() const override { return m_Name; }
    using KwHostStream::KwHostStream;

private:
    std::vector<unsigned char> m_Bytes;
    std::string m_Name;
    ULONGLONG m_MaxSize = 1ull << 31;
};

// A read-only host stream whose Stat reports a size of the test's choosing,
// whatever it holds: a stream of several gigabytes without the gigabytes, or a
// stream that claims to be shorter than what it delivers. Made traced, as the
// engine makes its own streams in the test build.
#pragma once

#include <cstring>
#include <vector>

#include "engine/KwHostContext.h"
#include "engine/KwHostStream.h"
#include "hostdouble/KwHostTraced.h"

class ReportedSizeStream : public KwHostStream {
public:
    static KwComPtr<ReportedSizeStream> Create(std::shared_ptr<KwHostContext> context, std::vector<unsigned char> bytes,
                                               ULONGLONG reportedSize)
    {
        KwComPtr<ReportedSizeStream> made;
        made.Attach(
            new KwTraced<KwTracedStream<ReportedSizeStream>>(std::move(context), std::move(bytes), reportedSize));
        return made;
    }

protected:
    HRESULT ReadAt(ULONGLONG position, void* pv, ULONG cb, ULONG* done) noexcept override
    {
        *done = 0;
        if (position >= m_Bytes.size()) return S_OK;
        ULONGLONG available = m_Bytes.size() - position;
        *done = available < cb ? static_cast<ULONG>(available) : cb;
        std::memcpy(pv, m_Bytes.data() + position, *done);
        return S_OK;
    }
    HRESULT WriteAt(ULONGLONG, const void*, ULONG, ULONG* done) noexcept override
    {
        *done = 0;
        return STG_E_ACCESSDENIED;
    }
    HRESULT StoreSize(ULONGLONG* size) noexcept override
    {
        *size = m_ReportedSize;
        return S_OK;
    }
    HRESULT Resize(ULONGLONG) noexcept override { return E_NOTIMPL; }
    bool Readable() const noexcept override { return true; }
    bool Writable() const noexcept override { return false; }
    DWORD Mode() const noexcept override { return STGM_READ; }
    std::string StoreName() const override { return std::string(); }

    ReportedSizeStream(std::shared_ptr<KwHostContext> context, std::vector<unsigned char> bytes, ULONGLONG size)
        : KwHostStream(std::move(context)), m_Bytes(std::move(bytes)), m_ReportedSize(size)
    {
    }

private:
    std::vector<unsigned char> m_Bytes;
    ULONGLONG m_ReportedSize;
};

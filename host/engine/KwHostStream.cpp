#include "KwHostStream.h"

#include <cstring>
#include <limits>

#include "KwAutomation.h"
#include "KwHostContext.h"
#include "KwHostHooks.h"

KwHostStream::KwHostStream(std::shared_ptr<KwHostContext> context, std::string label) noexcept
    : KwHostImplements(std::move(context), std::move(label), 0)
{
}

HRESULT STDMETHODCALLTYPE KwHostStream::Read(void* pv, ULONG cb, ULONG* pcbRead) noexcept
{
    KW_HOST_TRY
    if (pcbRead) *pcbRead = 0;
    ULONG limit = cb; // what this call reads at most
    ULONG done = 0;
    auto body = [&]() -> HRESULT {
        if (!pv && cb != 0) return STG_E_INVALIDPOINTER;
        KW_HOST_FAULT(*this, "Read");
        if (!Readable()) return STG_E_ACCESSDENIED;
        HRESULT hr = limit == 0 ? S_OK : ReadAt(m_Position, pv, limit, &done);
        m_Position += done;
        if (FAILED(hr)) return hr;
        // S_FALSE tells the end of the data.
        return done < cb ? S_FALSE : S_OK;
    };
    HRESULT hr = KW_HOST_TRACE(Read, body, *this, pv, cb, limit, done);
    if (pcbRead) *pcbRead = done;
    return hr;
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) noexcept
{
    KW_HOST_TRY
    if (pcbWritten) *pcbWritten = 0;
    ULONG accept = cb; // what this call writes at most
    ULONG done = 0;
    auto body = [&]() -> HRESULT {
        if (!pv && cb != 0) return STG_E_INVALIDPOINTER;
        KW_HOST_FAULT(*this, "Write");
        if (!Writable()) return STG_E_ACCESSDENIED;
        HRESULT hr = accept == 0 ? S_OK : WriteAt(m_Position, pv, accept, &done);
        m_Position += done;
        return hr;
    };
    HRESULT hr = KW_HOST_TRACE(Write, body, *this, pv, cb, accept, done);
    if (pcbWritten) *pcbWritten = done;
    return hr;
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                             ULARGE_INTEGER* plibNewPosition) noexcept
{
    auto body = [&]() -> HRESULT {
        KW_HOST_FAULT(*this, "Seek");
        LONGLONG base = 0;
        if (dwOrigin == STREAM_SEEK_SET) {
            base = 0;
        } else if (dwOrigin == STREAM_SEEK_CUR) {
            base = static_cast<LONGLONG>(m_Position);
        } else if (dwOrigin == STREAM_SEEK_END) {
            ULONGLONG size = 0;
            HRESULT hr = StoreSize(&size);
            if (FAILED(hr)) return hr;
            base = static_cast<LONGLONG>(size);
        } else {
            return STG_E_INVALIDFUNCTION;
        }
        LONGLONG move = dlibMove.QuadPart;
        // Positions before the start, or past what a signed 64-bit position holds, are refused.
        if ((move < 0 && base + move < 0) || (move > 0 && base > std::numeric_limits<LONGLONG>::max() - move))
            return STG_E_INVALIDFUNCTION;
        m_Position = static_cast<ULONGLONG>(base + move);
        if (plibNewPosition) plibNewPosition->QuadPart = m_Position;
        return S_OK;
    };
    return KW_HOST_TRACE(Seek, body, *this, dlibMove, dwOrigin);
}

HRESULT STDMETHODCALLTYPE KwHostStream::SetSize(ULARGE_INTEGER libNewSize) noexcept
{
    auto body = [&]() -> HRESULT {
        KW_HOST_FAULT(*this, "SetSize");
        if (!Writable()) return STG_E_ACCESSDENIED;
        return Resize(libNewSize.QuadPart);
    };
    return KW_HOST_TRACE(SetSize, body, *this, libNewSize);
}

HRESULT STDMETHODCALLTYPE KwHostStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER* pcbRead,
                                               ULARGE_INTEGER* pcbWritten) noexcept
{
    if (pcbRead) pcbRead->QuadPart = 0;
    if (pcbWritten) pcbWritten->QuadPart = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE KwHostStream::Commit(DWORD) noexcept { return S_OK; }
HRESULT STDMETHODCALLTYPE KwHostStream::Revert() noexcept { return S_OK; }
HRESULT STDMETHODCALLTYPE KwHostStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept
{
    return STG_E_INVALIDFUNCTION;
}
HRESULT STDMETHODCALLTYPE KwHostStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept
{
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE KwHostStream::Stat(STATSTG* pstatstg, DWORD grfStatFlag) noexcept
{
    KW_HOST_TRY
    auto body = [&]() -> HRESULT {
        if (!pstatstg) return STG_E_INVALIDPOINTER;
        std::memset(pstatstg, 0, sizeof *pstatstg);
        KW_HOST_FAULT(*this, "Stat");
        ULONGLONG size = 0;
        HRESULT hr = StoreSize(&size);
        if (FAILED(hr)) return hr;
        pstatstg->type = STGTY_STREAM;
        pstatstg->cbSize.QuadPart = size;
        pstatstg->grfMode = Mode();
        if ((grfStatFlag & STATFLAG_NONAME) == 0) {
            std::string name = StoreName();
            if (!name.empty()) {
                KwBstr wide = KwBstr::FromNarrow(name.c_str(), CP_UTF8);
                if (!wide.Ok()) return E_OUTOFMEMORY;
                UINT length = wide.Length();
                auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((length + 1) * sizeof(OLECHAR)));
                if (!copy) return E_OUTOFMEMORY;
                std::memcpy(copy, wide.Get(), (length + 1) * sizeof(OLECHAR));
                pstatstg->pwcsName = copy;
            }
        }
        return S_OK;
    };
    return KW_HOST_TRACE(Stat, body, *this, pstatstg, grfStatFlag);
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostStream::Clone(IStream** ppstm) noexcept
{
    if (ppstm) *ppstm = nullptr;
    return E_NOTIMPL;
}

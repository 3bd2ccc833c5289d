#include "KwHostStream.h"

#include <cstring>
#include <limits>

#include "com/KwAutomation.h"
#include "KwHostContext.h"

KwHostStream::KwHostStream(std::shared_ptr<KwHostContext> context) noexcept
    : KwHostImplements(std::move(context), 0)
{
}

HRESULT STDMETHODCALLTYPE KwHostStream::Read(void* pv, ULONG cb, ULONG* pcbRead) noexcept
{
    if (pcbRead) *pcbRead = 0;
    if (!pv && cb != 0) return STG_E_INVALIDPOINTER;
    if (!Readable()) return STG_E_ACCESSDENIED;
    ULONG done = 0;
    HRESULT hr = cb == 0 ? S_OK : ReadAt(m_Position, pv, cb, &done);
    m_Position += done;
    if (pcbRead) *pcbRead = done;
    if (FAILED(hr)) return hr;
    // S_FALSE tells the end of the data.
    return done < cb ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) noexcept
{
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb != 0) return STG_E_INVALIDPOINTER;
    if (!Writable()) return STG_E_ACCESSDENIED;
    ULONG done = 0;
    HRESULT hr = cb == 0 ? S_OK : WriteAt(m_Position, pv, cb, &done);
    m_Position += done;
    if (pcbWritten) *pcbWritten = done;
    return hr;
}

HRESULT STDMETHODCALLTYPE KwHostStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                             ULARGE_INTEGER* plibNewPosition) noexcept
{
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
}

HRESULT STDMETHODCALLTYPE KwHostStream::SetSize(ULARGE_INTEGER libNewSize) noexcept
{
    if (!Writable()) return STG_E_ACCESSDENIED;
    return Resize(libNewSize.QuadPart);
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
    if (!pstatstg) return STG_E_INVALIDPOINTER;
    std::memset(pstatstg, 0, sizeof *pstatstg);
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
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostStream::Clone(IStream** ppstm) noexcept
{
    if (ppstm) *ppstm = nullptr;
    return E_NOTIMPL;
}

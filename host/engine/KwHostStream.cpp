#include "KwHostStream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "KwAutomation.h"
#include "KwHostContext.h"

KwHostStream::KwHostStream(std::shared_ptr<KwHostContext> context, std::string label) noexcept
    : KwHostObject(std::move(context), std::move(label), 0)
{
}

void* KwHostStream::FindInterface(REFIID riid) noexcept
{
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ISequentialStream) ||
        IsEqualGUID(riid, IID_IStream))
        return static_cast<IStream*>(this);
    return nullptr;
}

bool KwHostStream::Failing(ULONG call, ULONG at, ULONG count) noexcept
{
    if (at == 0 || call < at) return false;
    return count == 0 || call - at < count;
}

std::vector<ULONG> KwHostStream::ReadRequests() const
{
    std::vector<ULONG> out;
    for (const KwHostStreamIo& io : m_Reads) out.push_back(io.requested);
    return out;
}

std::vector<ULONG> KwHostStream::WriteSizes() const
{
    std::vector<ULONG> out;
    for (const KwHostStreamIo& io : m_Writes) out.push_back(io.done);
    return out;
}

void KwHostStream::ClearLogs() noexcept
{
    m_Reads.clear();
    m_Writes.clear();
}

HRESULT STDMETHODCALLTYPE KwHostStream::Read(void* pv, ULONG cb, ULONG* pcbRead) noexcept
{
    KW_HOST_TRY
    if (pcbRead) *pcbRead = 0;
    KwHostCall call{Label(), "Read"};
    ULONG done = 0;
    HRESULT hr = S_OK;
    ++m_ReadCalls;
    if (!pv && cb != 0) {
        hr = STG_E_INVALIDPOINTER;
    } else if (Context().InjectFailure("Read", &hr)) {
    } else if (!Readable()) {
        hr = STG_E_ACCESSDENIED;
    } else {
        ULONG limit = cb;
        if (m_Switches.maxReadPerCall != 0) limit = std::min(limit, m_Switches.maxReadPerCall);
        // S_FALSE tells the end of the data (or of what the stream will deliver);
        // a read merely cut short by the per-call limit is S_OK.
        const ULONG unended = limit;
        if (m_Switches.readLimitTotal >= 0) {
            ULONGLONG total = static_cast<ULONGLONG>(m_Switches.readLimitTotal);
            ULONGLONG left = total > m_Delivered ? total - m_Delivered : 0;
            if (left < limit) limit = static_cast<ULONG>(left);
        }
        bool failing = Failing(m_ReadCalls, m_Switches.failReadAtCall, m_Switches.failReadCalls);
        if (failing) limit = std::min(limit, m_Switches.failReadBytes);
        hr = limit == 0 ? S_OK : ReadAt(m_Position, pv, limit, &done);
        m_Position += done;
        m_Delivered += done;
        if (failing)
            hr = m_Switches.failReadResult;
        else if (SUCCEEDED(hr))
            hr = done < unended ? S_FALSE : S_OK;
    }
    if (pcbRead) *pcbRead = done;
    m_Reads.push_back({cb, done, hr});
    call.args = {cb, done};
    return Context().Record(call, std::to_string(cb) + " bytes, " + std::to_string(done) + " read", hr);
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) noexcept
{
    KW_HOST_TRY
    if (pcbWritten) *pcbWritten = 0;
    KwHostCall call{Label(), "Write"};
    ULONG done = 0;
    HRESULT hr = S_OK;
    ++m_WriteCalls;
    if (!pv && cb != 0) {
        hr = STG_E_INVALIDPOINTER;
    } else if (Context().InjectFailure("Write", &hr)) {
    } else if (!Writable()) {
        hr = STG_E_ACCESSDENIED;
    } else if (Failing(m_WriteCalls, m_Switches.failWriteAtCall, m_Switches.failWriteCalls)) {
        hr = m_Switches.failWriteResult;
    } else {
        ULONG accept = cb;
        bool cut = m_Switches.writeAcceptMax >= 0 && static_cast<ULONGLONG>(m_Switches.writeAcceptMax) < cb;
        if (cut) accept = static_cast<ULONG>(m_Switches.writeAcceptMax);
        hr = accept == 0 ? S_OK : WriteAt(m_Position, pv, accept, &done);
        m_Position += done;
        if (SUCCEEDED(hr) && cut) hr = m_Switches.shortWriteResult;
    }
    if (pcbWritten) *pcbWritten = done;
    m_Writes.push_back({cb, done, hr});
    call.args = {cb, done};
    return Context().Record(call, std::to_string(cb) + " bytes, " + std::to_string(done) + " written", hr);
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                             ULARGE_INTEGER* plibNewPosition) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "Seek"};
    call.args = {dlibMove.QuadPart, static_cast<LONGLONG>(dwOrigin)};
    std::string details = std::to_string(dlibMove.QuadPart) + ", origin " + std::to_string(dwOrigin);
    ++m_Seeks;
    HRESULT hr = S_OK;
    if (Context().InjectFailure("Seek", &hr)) return Context().Record(call, details, hr);
    if (FAILED(m_Switches.seekResult)) return Context().Record(call, details, m_Switches.seekResult);
    LONGLONG base = 0;
    if (dwOrigin == STREAM_SEEK_SET) {
        base = 0;
    } else if (dwOrigin == STREAM_SEEK_CUR) {
        base = static_cast<LONGLONG>(m_Position);
    } else if (dwOrigin == STREAM_SEEK_END) {
        ULONGLONG size = 0;
        hr = StoreSize(&size);
        if (FAILED(hr)) return Context().Record(call, details, hr);
        base = static_cast<LONGLONG>(size);
    } else {
        return Context().Record(call, details, STG_E_INVALIDFUNCTION);
    }
    LONGLONG move = dlibMove.QuadPart;
    // Positions before the start, or past what a signed 64-bit position holds, are refused.
    if ((move < 0 && base + move < 0) || (move > 0 && base > std::numeric_limits<LONGLONG>::max() - move))
        return Context().Record(call, details, STG_E_INVALIDFUNCTION);
    m_Position = static_cast<ULONGLONG>(base + move);
    if (plibNewPosition) plibNewPosition->QuadPart = m_Position;
    return Context().Record(call, details, S_OK);
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostStream::SetSize(ULARGE_INTEGER libNewSize) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "SetSize"};
    call.args = {static_cast<LONGLONG>(libNewSize.QuadPart)};
    std::string details = std::to_string(libNewSize.QuadPart);
    HRESULT hr = S_OK;
    if (Context().InjectFailure("SetSize", &hr)) return Context().Record(call, details, hr);
    if (!Writable()) return Context().Record(call, details, STG_E_ACCESSDENIED);
    return Context().Record(call, details, Resize(libNewSize.QuadPart));
    KW_HOST_CATCH
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
    KwHostCall call{Label(), "Stat"};
    call.args = {static_cast<LONGLONG>(grfStatFlag)};
    std::string details = "flags " + std::to_string(grfStatFlag);
    if (!pstatstg) return Context().Record(call, details, STG_E_INVALIDPOINTER);
    std::memset(pstatstg, 0, sizeof *pstatstg);
    HRESULT hr = S_OK;
    if (Context().InjectFailure("Stat", &hr)) return Context().Record(call, details, hr);
    if (FAILED(m_Switches.statResult)) return Context().Record(call, details, m_Switches.statResult);
    ULONGLONG size = 0;
    hr = StoreSize(&size);
    if (FAILED(hr)) return Context().Record(call, details, hr);
    pstatstg->type = STGTY_STREAM;
    pstatstg->cbSize.QuadPart = size;
    pstatstg->grfMode = Mode();
    if ((grfStatFlag & STATFLAG_NONAME) == 0) {
        std::string name = StoreName();
        if (!name.empty()) {
            KwBstr wide = KwBstr::FromNarrow(name.c_str(), CP_UTF8);
            if (!wide.ok()) return Context().Record(call, details, E_OUTOFMEMORY);
            UINT length = wide.Length();
            auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((length + 1) * sizeof(OLECHAR)));
            if (!copy) return Context().Record(call, details, E_OUTOFMEMORY);
            std::memcpy(copy, wide.Get(), (length + 1) * sizeof(OLECHAR));
            pstatstg->pwcsName = copy;
        }
    }
    call.args.push_back(static_cast<LONGLONG>(size));
    return Context().Record(call, details + ", size " + std::to_string(size), S_OK);
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostStream::Clone(IStream** ppstm) noexcept
{
    if (ppstm) *ppstm = nullptr;
    return E_NOTIMPL;
}

// IStream over a byte store, with the test switches and Read/Write logs that
// every host stream has. KwHostMemoryStream and KwHostFileStream supply the store.
#pragma once

#include <vector>

#include "KwHostObject.h"

struct KwHostStreamSwitches {
    ULONG maxReadPerCall = 0;          // a Read delivers at most this many bytes; 0: no limit
    LONGLONG readLimitTotal = -1;      // Reads deliver nothing once this many bytes were delivered; -1: no limit
    ULONG failReadAtCall = 0;          // the Read call (1-based) that fails; 0: none
    ULONG failReadCalls = 1;           // consecutive failing Read calls from there; 0: every later call
    HRESULT failReadResult = STG_E_READFAULT;
    ULONG failReadBytes = 0;           // bytes a failing Read still delivers
    HRESULT seekResult = S_OK;         // a failure makes every Seek fail with it
    HRESULT statResult = S_OK;         // a failure (E_NOTIMPL) makes every Stat fail with it
    LONGLONG writeAcceptMax = -1;      // bytes a Write accepts of one call; -1: all
    HRESULT shortWriteResult = STG_E_MEDIUMFULL; // the result of a Write cut short by writeAcceptMax
    ULONG failWriteAtCall = 0;         // the Write call (1-based) that fails with nothing written; 0: none
    ULONG failWriteCalls = 1;          // consecutive failing Write calls; 0: every later call
    HRESULT failWriteResult = STG_E_WRITEFAULT;
};

// One Read or Write: bytes asked for, bytes delivered or accepted, the result.
struct KwHostStreamIo {
    ULONG requested;
    ULONG done;
    HRESULT result;
};

class KwHostStream : public KwHostObject, public IStream {
public:
    KW_HOST_IUNKNOWN
    void* FindInterface(REFIID riid) noexcept override;

    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) noexcept override;
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) noexcept override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                   ULARGE_INTEGER* plibNewPosition) noexcept override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) noexcept override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                     ULARGE_INTEGER* pcbWritten) noexcept override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) noexcept override;
    HRESULT STDMETHODCALLTYPE Revert() noexcept override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) noexcept override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) noexcept override;

    KwHostStreamSwitches& Switches() noexcept { return m_Switches; }
    const std::vector<KwHostStreamIo>& ReadLog() const noexcept { return m_Reads; }
    const std::vector<KwHostStreamIo>& WriteLog() const noexcept { return m_Writes; }
    // Requested counts of the Read calls, and accepted counts of the Write calls.
    std::vector<ULONG> ReadRequests() const;
    std::vector<ULONG> WriteSizes() const;
    ULONGLONG BytesDelivered() const noexcept { return m_Delivered; }
    ULONG SeekCount() const noexcept { return m_Seeks; }
    ULONGLONG Position() const noexcept { return m_Position; }
    void ClearLogs() noexcept;

protected:
    KwHostStream(std::shared_ptr<KwHostContext> context, std::string label) noexcept;

    // The store: read or write at a position; the size.
    virtual HRESULT ReadAt(ULONGLONG position, void* pv, ULONG cb, ULONG* done) noexcept = 0;
    virtual HRESULT WriteAt(ULONGLONG position, const void* pv, ULONG cb, ULONG* done) noexcept = 0;
    virtual HRESULT StoreSize(ULONGLONG* size) noexcept = 0;
    virtual HRESULT Resize(ULONGLONG size) noexcept = 0;
    virtual bool Readable() const noexcept = 0;
    virtual bool Writable() const noexcept = 0;
    virtual DWORD Mode() const noexcept = 0;
    // The name Stat reports (UTF-8); empty: none.
    virtual std::string StoreName() const = 0;

private:
    static bool Failing(ULONG call, ULONG at, ULONG count) noexcept;

    KwHostStreamSwitches m_Switches;
    std::vector<KwHostStreamIo> m_Reads;
    std::vector<KwHostStreamIo> m_Writes;
    ULONGLONG m_Position = 0;
    ULONGLONG m_Delivered = 0;
    ULONG m_ReadCalls = 0;
    ULONG m_WriteCalls = 0;
    ULONG m_Seeks = 0;
};

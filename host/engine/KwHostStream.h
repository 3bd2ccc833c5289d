// IStream over a byte store: the position and the IStream rules that every host
// stream shares. KwHostMemoryStream and KwHostFileStream supply the store.
#pragma once

#include <string>

#include "KwHostObject.h"

class KwHostStream : public KwHostImplements<KwHostObject, IStream> {
public:

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

    ULONGLONG Position() const noexcept { return m_Position; }
    virtual bool Readable() const noexcept = 0;
    virtual bool Writable() const noexcept = 0;

protected:
    explicit KwHostStream(std::shared_ptr<KwHostContext> context) noexcept;

    // The store: read or write at a position; the size.
    virtual HRESULT ReadAt(ULONGLONG position, void* pv, ULONG cb, ULONG* done) noexcept = 0;
    virtual HRESULT WriteAt(ULONGLONG position, const void* pv, ULONG cb, ULONG* done) noexcept = 0;
    virtual HRESULT StoreSize(ULONGLONG* size) noexcept = 0;
    virtual HRESULT Resize(ULONGLONG size) noexcept = 0;
    virtual DWORD Mode() const noexcept = 0;
    // The name Stat reports (UTF-8); empty: none.
    virtual std::string StoreName() const = 0;

private:
    ULONGLONG m_Position = 0;
};

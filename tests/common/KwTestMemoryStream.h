// A minimal read-only IStream over a byte vector, for tests that feed bytes to
// code reading a host stream. Lives on the stack; counts are not enforced.
#pragma once

#include <cstring>
#include <vector>

#include "KwPlatform.h"

class KwTestMemoryStream final : public IStream {
public:
    explicit KwTestMemoryStream(std::vector<unsigned char> bytes) : m_bytes(std::move(bytes)) {}

    // At most this many bytes per Read (0: no limit), to imitate streams that
    // hand over less than asked before their end.
    ULONG MaxChunk = 0;
    // Every Read after this many calls fails with E_FAIL (0: never).
    int FailAfterReads = 0;
    int ReadCalls = 0;
    ULONG ReadBytes = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, IID_IStream)) {
            *ppv = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }

    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        ++ReadCalls;
        if (pcbRead) *pcbRead = 0;
        if (FailAfterReads && ReadCalls > FailAfterReads) return E_FAIL;
        size_t left = m_pos < m_bytes.size() ? m_bytes.size() - m_pos : 0;
        size_t n = cb < left ? cb : left;
        if (MaxChunk && n > MaxChunk) n = MaxChunk;
        if (n) std::memcpy(pv, m_bytes.data() + m_pos, n);
        m_pos += n;
        ReadBytes += static_cast<ULONG>(n);
        if (pcbRead) *pcbRead = static_cast<ULONG>(n);
        return n == cb ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override
    {
        long long base = origin == STREAM_SEEK_SET ? 0
                         : origin == STREAM_SEEK_CUR ? static_cast<long long>(m_pos)
                                                     : static_cast<long long>(m_bytes.size());
        long long target = base + move.QuadPart;
        if (origin > STREAM_SEEK_END || target < 0) return STG_E_INVALIDFUNCTION;
        m_pos = static_cast<size_t>(target);
        if (newPosition) newPosition->QuadPart = m_pos;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override
    {
        if (!stat) return E_POINTER;
        std::memset(stat, 0, sizeof(*stat));
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = m_bytes.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

    size_t Position() const { return m_pos; }

private:
    std::vector<unsigned char> m_bytes;
    size_t m_pos = 0;
    ULONG m_refs = 1;
};

// An IStream over memory, as a host that holds the file in memory would give
// it: reads copy from the bytes, writes append to a buffer that keeps its
// capacity between runs, so that neither side pays for the other's I/O.
#pragma once

#include <cstring>
#include <vector>

#include "BenchComBase.h"

class BenchMemoryStream final : public IStream {
public:
    // Reads from data (borrowed; it must outlive the stream), or writes into sink.
    static BenchMemoryStream* ForReading(const std::vector<unsigned char>& data)
    {
        return new BenchMemoryStream(data.data(), data.size(), nullptr);
    }
    static BenchMemoryStream* ForWriting(std::vector<unsigned char>* sink)
    {
        sink->clear();
        return new BenchMemoryStream(nullptr, 0, sink);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IStream) ||
            IsEqualGUID(riid, IID_ISequentialStream)) {
            *ppv = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    BENCH_IMPLEMENT_REFCOUNT

    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) noexcept override
    {
        size_t left = m_Position < m_Size ? m_Size - m_Position : 0;
        size_t count = cb < left ? cb : left;
        if (count) std::memcpy(pv, m_Data + m_Position, count);
        m_Position += count;
        if (pcbRead) *pcbRead = static_cast<ULONG>(count);
        return count == cb ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) noexcept override
    {
        if (!m_Sink) return STG_E_ACCESSDENIED;
        const unsigned char* bytes = static_cast<const unsigned char*>(pv);
        m_Sink->insert(m_Sink->end(), bytes, bytes + cb);
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) noexcept override
    {
        long long base = origin == STREAM_SEEK_SET ? 0
                         : origin == STREAM_SEEK_CUR ? static_cast<long long>(m_Position)
                                                     : static_cast<long long>(Size());
        long long target = base + move.QuadPart;
        if (target < 0) return STG_E_INVALIDFUNCTION;
        m_Position = static_cast<size_t>(target);
        if (newPosition) newPosition->QuadPart = m_Position;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) noexcept override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) noexcept override
    {
        if (!stat) return STG_E_INVALIDPOINTER;
        std::memset(stat, 0, sizeof(*stat));
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = Size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) noexcept override { return E_NOTIMPL; }

private:
    BenchMemoryStream(const unsigned char* data, size_t size, std::vector<unsigned char>* sink)
        : m_Data(data), m_Size(size), m_Sink(sink)
    {
    }
    ~BenchMemoryStream() = default;
    size_t Size() const { return m_Sink ? m_Sink->size() : m_Size; }

    const unsigned char* m_Data;
    size_t m_Size;
    std::vector<unsigned char>* m_Sink;
    size_t m_Position = 0;
};

#include "KwHostMemoryStream.h"

#include <cstring>
#include <new>

#include "KwHostContext.h"
#include "private/KwHostHooks.h"

HRESULT KwHostMemoryStream::Create(const void* data, size_t size, KwHostMemoryStream** out,
                                   std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    KW_HOST_TRY
    KwHostMemoryStream* stream = new KwHostMade<KwHostMemoryStream>(KwHostContext::Ensure(std::move(context)));
    try {
        if (data && size) {
            const auto* bytes = static_cast<const unsigned char*>(data);
            stream->m_Bytes.assign(bytes, bytes + size);
        }
    } catch (...) {
        stream->Release();
        throw;
    }
    *out = stream;
    return S_OK;
    KW_HOST_CATCH
}

HRESULT KwHostMemoryStream::ReadAt(ULONGLONG position, void* pv, ULONG cb, ULONG* done) noexcept
{
    *done = 0;
    if (position >= m_Bytes.size()) return S_OK;
    ULONGLONG available = m_Bytes.size() - position;
    ULONG n = available < cb ? static_cast<ULONG>(available) : cb;
    std::memcpy(pv, m_Bytes.data() + position, n);
    *done = n;
    return S_OK;
}

HRESULT KwHostMemoryStream::WriteAt(ULONGLONG position, const void* pv, ULONG cb, ULONG* done) noexcept
{
    *done = 0;
    if (position > m_MaxSize || cb > m_MaxSize - position) return STG_E_MEDIUMFULL;
    ULONGLONG end = position + cb;
    try {
        if (end > m_Bytes.size()) m_Bytes.resize(static_cast<size_t>(end));
    } catch (...) {
        return STG_E_MEDIUMFULL;
    }
    std::memcpy(m_Bytes.data() + position, pv, cb);
    *done = cb;
    return S_OK;
}

HRESULT KwHostMemoryStream::StoreSize(ULONGLONG* size) noexcept
{
    *size = m_Bytes.size();
    return S_OK;
}

HRESULT KwHostMemoryStream::Resize(ULONGLONG size) noexcept
{
    if (size > m_MaxSize) return STG_E_MEDIUMFULL;
    try {
        m_Bytes.resize(static_cast<size_t>(size));
    } catch (...) {
        return STG_E_MEDIUMFULL;
    }
    return S_OK;
}

#include "KwIccProfile.h"

#include <cstring>

#include "KwMemory.h"

KwIccProfile& KwIccProfile::operator=(KwIccProfile&& other) noexcept
{
    if (this != &other) {
        Clear();
        m_Data = other.m_Data;
        m_Size = other.m_Size;
        other.m_Data = nullptr;
        other.m_Size = 0;
    }
    return *this;
}

void KwIccProfile::Take(unsigned char* data, unsigned int size) noexcept
{
    Clear();
    m_Data = data;
    m_Size = data ? size : 0;
}

void KwIccProfile::Clear() noexcept
{
    KwFree(m_Data);
    m_Data = nullptr;
    m_Size = 0;
}

void KwIccProfile::ToVariant(KwVariant& value) const noexcept
{
    value.Clear();
    if (m_Size == 0) return;
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, m_Size);
    void* data = nullptr;
    if (bytes && SUCCEEDED(SafeArrayAccessData(bytes, &data))) {
        std::memcpy(data, m_Data, m_Size);
        SafeArrayUnaccessData(bytes);
    } else if (bytes) {
        SafeArrayDestroy(bytes);
        bytes = nullptr;
    }
    value.SetArray(VT_UI1, bytes);
}

// The colour profile a JPEG file embeds, put together from its APP2
// "ICC_PROFILE" chunks (KwIccCollector). Owns its buffer.
#pragma once

#include "KwPlatform.h"

class KwIccProfile {
public:
    KwIccProfile() noexcept = default;
    ~KwIccProfile() { Clear(); }
    KwIccProfile(const KwIccProfile&) = delete;
    KwIccProfile& operator=(const KwIccProfile&) = delete;
    KwIccProfile(KwIccProfile&& other) noexcept : m_Data(other.m_Data), m_Size(other.m_Size)
    {
        other.m_Data = nullptr;
        other.m_Size = 0;
    }
    KwIccProfile& operator=(KwIccProfile&& other) noexcept;

    // Takes over a buffer from KwAllocate.
    void Take(unsigned char* data, unsigned int size) noexcept;
    void Clear() noexcept;
    bool Empty() const noexcept { return m_Size == 0; }
    unsigned int Size() const noexcept { return m_Size; }
    const unsigned char* Data() const noexcept { return m_Data; }

private:
    unsigned char* m_Data = nullptr;
    unsigned int m_Size = 0;
};

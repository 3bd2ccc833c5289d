#include "KwIccProfile.h"

#include <cstring>

#include "com/KwMemory.h"

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

#include "KwIccCollector.h"

#include <cstring>

#include <jerror.h>

#include "com/KwMemory.h"

namespace {

// "ICC_PROFILE\0", the chunk's number and the count.
const unsigned int Overhead = 14;
const unsigned char Signature[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};

// The decode's source never suspends (it ends short data with an inserted
// end-of-image marker), so every refill gives at least one byte.
bool Fill(j_decompress_ptr cinfo)
{
    jpeg_source_mgr* src = cinfo->src;
    return src->bytes_in_buffer > 0 || (src->fill_input_buffer(cinfo) && src->bytes_in_buffer > 0);
}

// Copies `count` input bytes to `to`, or skips them when `to` is null.
bool Take(j_decompress_ptr cinfo, unsigned char* to, unsigned long count)
{
    jpeg_source_mgr* src = cinfo->src;
    while (count > 0) {
        if (!Fill(cinfo)) return false;
        const unsigned long step = count < src->bytes_in_buffer ? count : static_cast<unsigned long>(src->bytes_in_buffer);
        if (to) {
            std::memcpy(to, src->next_input_byte, step);
            to += step;
        }
        src->next_input_byte += step;
        src->bytes_in_buffer -= step;
        count -= step;
    }
    return true;
}

} // namespace

extern "C" {

static boolean KwIccCollect(j_decompress_ptr cinfo)
{
    return static_cast<KwIccCollector*>(cinfo->client_data)->Collect(cinfo);
}

} // extern "C"

void KwIccCollector::Watch(j_decompress_ptr cinfo) noexcept
{
    cinfo->client_data = this;
    jpeg_set_marker_processor(cinfo, JPEG_APP0 + 2, KwIccCollect);
}

boolean KwIccCollector::Collect(j_decompress_ptr cinfo)
{
    unsigned char field[2];
    if (!Take(cinfo, field, 2)) return FALSE;
    const unsigned int length = (static_cast<unsigned int>(field[0]) << 8) | field[1];
    // A length below 2 has no data (the codec reads it the same way).
    unsigned long left = length > 2 ? length - 2 : 0;
    unsigned char head[Overhead];
    if (m_Closed || left < Overhead) return Take(cinfo, nullptr, left) ? TRUE : FALSE;
    if (!Take(cinfo, head, Overhead)) return FALSE;
    left -= Overhead;
    if (std::memcmp(head, Signature, sizeof(Signature)) != 0 || m_Broken || m_OutOfMemory)
        return Take(cinfo, nullptr, left) ? TRUE : FALSE;

    const int number = head[12], count = head[13];
    if (m_Count == 0) m_Count = count;
    if (count != m_Count || number == 0 || number > m_Count || m_Present[number]) {
        m_Broken = true;
        return Take(cinfo, nullptr, left) ? TRUE : FALSE;
    }
    m_Present[number] = true;
    m_Length[number] = static_cast<unsigned int>(left);
    if (left > 0) {
        m_Data[number] = static_cast<unsigned char*>(KwAllocate(left));
        if (!m_Data[number]) {
            m_OutOfMemory = true;
            return Take(cinfo, nullptr, left) ? TRUE : FALSE;
        }
    }
    return Take(cinfo, m_Data[number], left) ? TRUE : FALSE;
}

HRESULT KwIccCollector::Assemble(j_decompress_ptr cinfo, KwIccProfile& profile) noexcept
{
    m_Closed = true;
    profile.Clear();
    HRESULT hr = S_OK;
    bool whole = m_Count > 0 && !m_Broken;
    for (int i = 1; whole && i <= m_Count; ++i) whole = m_Present[i];
    if (m_OutOfMemory) {
        hr = E_OUTOFMEMORY;
    } else if (m_Broken || (m_Count > 0 && !whole)) {
        cinfo->err->msg_code = JWRN_BOGUS_ICC;
        cinfo->err->emit_message(reinterpret_cast<j_common_ptr>(cinfo), -1);
    } else if (whole) {
        // At most 255 chunks of 65533 bytes: the sum fits in 32 bits.
        unsigned int total = 0;
        for (int i = 1; i <= m_Count; ++i) total += m_Length[i];
        if (total > 0) {
            unsigned char* data = static_cast<unsigned char*>(KwAllocate(total));
            if (data) {
                unsigned int at = 0;
                for (int i = 1; i <= m_Count; ++i) {
                    if (m_Length[i]) std::memcpy(data + at, m_Data[i], m_Length[i]);
                    at += m_Length[i];
                }
                profile.Take(data, total);
            } else {
                hr = E_OUTOFMEMORY;
            }
        }
    }
    Release();
    return hr;
}

void KwIccCollector::Release() noexcept
{
    for (int i = 0; i <= MaxChunks; ++i) {
        KwFree(m_Data[i]);
        m_Data[i] = nullptr;
    }
}

#include "KwHostStreamDouble.h"

std::vector<ULONG> KwHostStreamDouble::ReadRequests() const
{
    std::vector<ULONG> out;
    for (const KwHostStreamIo& io : m_Reads) out.push_back(io.Requested);
    return out;
}

std::vector<ULONG> KwHostStreamDouble::WriteSizes() const
{
    std::vector<ULONG> out;
    for (const KwHostStreamIo& io : m_Writes) out.push_back(io.Done);
    return out;
}

// A byte vector through oleaut32 as the host keeps an attribute value (the same
// probe runs against our own platform layer in the platform suite).
#include <gtest/gtest.h>

#include "common/ByteArrayProbe.h"

TEST(RegisteredOleAutomation, ByteArrayMadeBoundedLockedCopiedAndFreed)
{
    EXPECT_EQ(KwByteArrayFault(), "") << "made, bounded, locked, copied and freed as the host keeps it";
}

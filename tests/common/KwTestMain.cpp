// The main of every test executable: GoogleTest with COM initialised once.
#include <gtest/gtest.h>

#include "KwPlatform.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    CoInitialize(nullptr);
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}

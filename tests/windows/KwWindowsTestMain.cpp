// The Windows test program, run under Windows or Wine by scripts/test.d/windows
// in three phases, each picked by the prefix of its test names:
//   --gtest_filter='Registered*'    after "regsvr32 KwFilter_JPEG.dll"
//   --gtest_filter='Unregistered*'  after "regsvr32 /u KwFilter_JPEG.dll"
//   --gtest_filter='Shared*'        registration beside another filter, and from a folder
//                                   named outside the ANSI code page (needs no registration)
// The filter library is expected beside the program.
#include <gtest/gtest.h>

#include <cstdio>

#include "KwPlatform.h"
#include "KwWinSupport.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr)) {
        std::fprintf(stderr, "kwtest_windows: CoInitialize failed with %s\n", KwHex(hr).c_str());
        return 1;
    }
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}

// The Windows test program, run under Windows or Wine by scripts/test.d/windows:
//   kwtest_windows registered     after "regsvr32 KwFilter_JPEG.dll"
//   kwtest_windows unregistered   after "regsvr32 /u KwFilter_JPEG.dll"
//   kwtest_windows shared         registration beside another filter, and from a folder
//                                 named outside the ANSI code page (needs no registration)
// The filter library is expected beside the program. One line per check, then
// "N passed, N failed"; the exit code is 0 only when every check passed.
#include <cstdio>
#include <string>

#include "common/ByteArrayProbe.h"
#include "KwCheck.h"
#include "KwPlatform.h"
#include "KwWindowsChecks.h"

int main(int argc, char** argv)
{
    const std::string phase = argc > 1 ? argv[1] : "";
    HRESULT hr = CoInitialize(nullptr);
    KwCheck::Case("startup");
    KwCheck::That(SUCCEEDED(hr), "CoInitialize", KwHex(hr));
    if (phase == "registered") {
        KwCheckRegistrationEntries();
        KwCheckTypeLibRegistration();
        KwCheckLibraryFile();
        KwCheckTypeLibrary();
        KwCheckFilters();
        KwCheck::Case("byte array of oleaut32");
        const std::string fault = KwByteArrayFault();
        KwCheck::That(fault.empty(), "made, bounded, locked, copied and freed as the host keeps it", fault);
    } else if (phase == "unregistered") {
        KwCheckRemoval();
    } else if (phase == "shared") {
        KwCheckRemovalBesideAnotherFilter();
        KwCheckRegistrationFromWideFolder();
    } else {
        std::fprintf(stderr, "usage: kwtest_windows registered|unregistered|shared\n");
        KwCheck::That(false, "known phase", phase);
    }
    if (SUCCEEDED(hr)) CoUninitialize();
    return KwCheck::Finish();
}

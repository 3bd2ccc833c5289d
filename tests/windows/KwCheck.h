// A minimal check runner for the Windows test program (GoogleTest is not
// packaged for mingw-w64): one line per check, one per case (a case passes
// when all its checks pass), and a final "N passed, N failed" line of cases.
#pragma once

#include <sstream>
#include <string>

class KwCheck {
public:
    // Starts a case; its name prefixes the lines of its checks.
    static void Case(const std::string& name);
    // Records one check; returns `ok`.
    static bool That(bool ok, const std::string& what, const std::string& detail = std::string());

    template <typename A, typename E>
    static bool Equal(const A& actual, const E& expected, const std::string& what)
    {
        bool ok = actual == expected;
        if (ok) return That(true, what);
        std::ostringstream detail;
        detail << "expected " << expected << ", got " << actual;
        return That(false, what, detail.str());
    }

    static int Passed();
    static int Failed();
    // Closes the last case, prints the summary lines and returns the exit code.
    static int Finish();
};

// An HRESULT as 0x8000FFFF.
std::string KwHex(long value);

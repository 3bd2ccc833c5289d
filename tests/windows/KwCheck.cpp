#include "KwCheck.h"

#include <cstdio>

namespace {
std::string g_case;
int g_caseChecks = 0;
int g_caseFailures = 0;
int g_casesPassed = 0;
int g_casesFailed = 0;
int g_passed = 0;
int g_failed = 0;

void CloseCase()
{
    if (g_caseChecks == 0) return;
    if (g_caseFailures == 0) ++g_casesPassed;
    else ++g_casesFailed;
    std::printf("%s %s (%d checks)\n", g_caseFailures == 0 ? "CASE ok    " : "CASE FAILED", g_case.c_str(),
                g_caseChecks);
    g_caseChecks = 0;
    g_caseFailures = 0;
}
}  // namespace

void KwCheck::Case(const std::string& name)
{
    if (name == g_case) return;
    CloseCase();
    g_case = name;
}

bool KwCheck::That(bool ok, const std::string& what, const std::string& detail)
{
    ++g_caseChecks;
    if (ok) {
        ++g_passed;
        std::printf("ok   %s: %s\n", g_case.c_str(), what.c_str());
    } else {
        ++g_failed;
        ++g_caseFailures;
        std::printf("FAIL %s: %s%s%s\n", g_case.c_str(), what.c_str(), detail.empty() ? "" : " -- ", detail.c_str());
    }
    std::fflush(stdout);
    return ok;
}

int KwCheck::Passed() { return g_passed; }
int KwCheck::Failed() { return g_failed; }

int KwCheck::Finish()
{
    CloseCase();
    std::printf("checks: %d passed, %d failed\n", g_passed, g_failed);
    std::printf("%d passed, %d failed\n", g_casesPassed, g_casesFailed);
    std::fflush(stdout);
    return g_failed == 0 ? 0 : 1;
}

std::string KwHex(long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value) & 0xFFFFFFFFul);
    return text;
}

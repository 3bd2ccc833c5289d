// Small helpers of the Windows test program: text conversion, registry reads,
// GUID and HRESULT text and the location of the filter library.
#pragma once

#include <string>
#include <vector>

#include "KwPlatform.h"

std::string KwNarrowText(const wchar_t* text);
std::wstring KwWideText(const std::string& text);
// "{08A39A63-C77B-407E-9CD2-F2F0895E82AE}"
std::string KwGuidText(const GUID& guid);
// An HRESULT as 0x8000FFFF.
std::string KwHex(long value);

struct KwRegValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string text;   // REG_SZ
    DWORD number = 0;   // REG_DWORD
};
// A value of a key (its default value when `name` is null).
KwRegValue KwReadRegValue(HKEY root, const std::string& path, const char* name);
bool KwRegKeyExists(HKEY root, const std::string& path);
std::vector<std::string> KwRegSubkeys(HKEY root, const std::string& path);
bool KwRegWriteText(HKEY root, const std::string& path, const char* name, const std::string& value);
void KwRegDeleteTree(HKEY root, const std::string& path);

// The folder of this program, with a trailing backslash; the filter library sits beside it.
std::string KwProgramFolder();
std::string KwFilterLibraryPath();
bool KwSamePath(const std::string& a, const std::string& b);

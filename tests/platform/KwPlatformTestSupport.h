// Helpers for the platform tests of the POSIX layer: running the helper process
// (ScopedRegistryFile gives each test its registry file) and registry conveniences.
#pragma once

#include <gtest/gtest.h>

#include "CountingDispatch.h"
#include "KwPlatform.h"
#include "common/ScopedRegistryFile.h"

#include <string>
#include <vector>

// Runs the registry helper with the given arguments (behind a command prefix,
// such as ScopedRegistryFile::DenyWrites gives); returns its exit code and
// fills `out` with what it printed.
int RunRegTool(const std::vector<std::string>& args, std::string* out = nullptr,
               const std::string& prefix = std::string());
// Starts the helper without waiting; returns its pid.
int StartRegTool(const std::vector<std::string>& args);
int WaitProcess(int pid);
// The exit code of a finished process, or -1 while it runs (or if it died).
int PollProcess(int pid);

// Small registry conveniences for tests (HKEY_LOCAL_MACHINE / any root).
LSTATUS SetString(HKEY root, const std::string& path, const char* name, const std::string& value);
bool GetString(HKEY root, const std::string& path, const char* name, std::string& value);
bool KeyExists(HKEY root, const std::string& path);

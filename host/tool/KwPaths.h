// The tool's paths: UTF-8 strings on every build, taken apart and joined with
// std::filesystem, and made into filesystem paths (UTF-16 on Windows) here
// and nowhere else.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

class KwPaths {
public:
    static std::filesystem::path Native(const std::string& path) { return std::filesystem::u8path(path); }
    static std::string Utf8(const std::filesystem::path& path) { return path.u8string(); }

    // "photo.jpg" of "a/b/photo.jpg"; "photo"; "jpg" ("" when there is none);
    // "a/b" ("." for a bare name).
    static std::string Name(const std::string& path);
    static std::string Stem(const std::string& path);
    static std::string Extension(const std::string& path);
    static std::string Folder(const std::string& path);
    static std::string Join(const std::string& folder, const std::string& name);
    // An absolute, normalised path where the file system can give one, else `path`.
    static std::string Resolved(const std::string& path);

    static bool Exists(const std::string& path);
    static bool IsFolder(const std::string& path);
    // Both name one existing file (the same device and inode, through links too).
    static bool SameFile(const std::string& a, const std::string& b);
    // Exists but is neither a regular file nor a folder: a pipe or a device.
    static bool IsSpecialFile(const std::string& path);
    // The system's folder for temporary files, or "." when it has none.
    static std::string TemporaryFolder();
    // The regular files in a folder and its subfolders, in no particular order;
    // what cannot be read is left out.
    static std::vector<std::string> FilesUnder(const std::string& folder);
    static void MakeFolders(const std::string& path, std::error_code& error);
    // Replaces an existing `to` on every platform.
    static void Rename(const std::string& from, const std::string& to, std::error_code& error);
    // True when the file was there and is gone.
    static bool Remove(const std::string& path);
    // std::fopen for a UTF-8 name.
    static std::FILE* Open(const std::string& path, const char* mode);
    // A new file to write, or null with the reason in words.
    static std::FILE* Create(const std::string& path, std::string& error);
};

#include "KwPaths.h"

#include <cerrno>
#include <cstring>

#include "KwPlatform.h"

namespace fs = std::filesystem;

std::string KwPaths::Name(const std::string& path) { return Utf8(Native(path).filename()); }

std::string KwPaths::Stem(const std::string& path) { return Utf8(Native(path).stem()); }

std::string KwPaths::Extension(const std::string& path)
{
    const std::string dotted = Utf8(Native(path).extension());
    return dotted.empty() ? dotted : dotted.substr(1);
}

std::string KwPaths::Folder(const std::string& path)
{
    const fs::path parent = Native(path).parent_path();
    return parent.empty() ? std::string(".") : Utf8(parent);
}

std::string KwPaths::Join(const std::string& folder, const std::string& name) { return Utf8(Native(folder) / Native(name)); }

std::string KwPaths::Resolved(const std::string& path)
{
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(fs::absolute(Native(path), error), error);
    return error ? path : Utf8(resolved);
}

bool KwPaths::Exists(const std::string& path)
{
    std::error_code error;
    return fs::exists(Native(path), error);
}

bool KwPaths::IsFolder(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(Native(path), error);
}

bool KwPaths::IsSpecialFile(const std::string& path)
{
    std::error_code error;
    const fs::file_status status = fs::status(Native(path), error);
    return !error && fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
}

std::string KwPaths::TemporaryFolder()
{
    std::error_code error;
    const fs::path folder = fs::temp_directory_path(error);
    return error ? std::string(".") : Utf8(folder);
}

std::vector<std::string> KwPaths::FilesUnder(const std::string& folder)
{
    std::vector<std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(Native(folder), error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file(error)) files.push_back(Utf8(it->path()));
    return files;
}

void KwPaths::MakeFolders(const std::string& path, std::error_code& error)
{
    fs::create_directories(Native(path), error);
    if (!error && !fs::is_directory(Native(path), error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
}

void KwPaths::Rename(const std::string& from, const std::string& to, std::error_code& error)
{
    fs::rename(Native(from), Native(to), error);
}

bool KwPaths::Remove(const std::string& path)
{
    std::error_code error;
    return fs::remove(Native(path), error) && !error;
}

std::FILE* KwPaths::Open(const std::string& path, const char* mode) { return KwOpenFileUtf8(path.c_str(), mode); }

std::FILE* KwPaths::Create(const std::string& path, std::string& error)
{
    std::FILE* file = Open(path, "wb");
    if (!file)
        error = std::string("cannot create the file: ") + std::strerror(errno) +
                " (does its folder exist, and is it writable?)";
    return file;
}

bool KwPaths::SameFile(const std::string& a, const std::string& b)
{
    std::error_code error;
    const bool same = std::filesystem::equivalent(Native(a), Native(b), error);
    return !error && same;
}

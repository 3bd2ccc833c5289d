#include "KwStandardOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "KwPaths.h"
#include "KwPlatform.h"
#include "KwTemporaryFiles.h"

KwStandardOutput::KwStandardOutput(const std::string& format)
{
    // A name no other process guesses: the file is made in a shared folder.
    std::random_device random;
    const unsigned long long tag = (static_cast<unsigned long long>(random()) << 32) ^ random();
    m_Path = KwPaths::Join(KwPaths::TemporaryFolder(), "kwjpeg-output-" + std::to_string(tag) + "." + format);
    KwTemporaryFiles::Add(m_Path);
}

KwStandardOutput::~KwStandardOutput() { Remove(); }

void KwStandardOutput::Remove()
{
    if (m_Path.empty()) return;
    KwPaths::Remove(m_Path);
    KwTemporaryFiles::Forget(m_Path);
    m_Path.clear();
}

bool KwStandardOutput::Send(std::string& error)
{
    std::FILE* file = KwPaths::Open(m_Path, "rb");
    if (!file) {
        error = "cannot read back the converted image: " + std::string(std::strerror(errno));
        return false;
    }
    // Gone from the folder before the copy where the system allows it, so that
    // a reader that stops early (SIGPIPE) leaves nothing behind.
    if (KwPaths::Remove(m_Path)) {
        KwTemporaryFiles::Forget(m_Path);
        m_Path.clear();
    }
    KwSetBinaryStandardStream(1);
    char buffer[1 << 16];
    size_t got;
    bool ok = true;
    while (ok && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) ok = std::fwrite(buffer, 1, got, stdout) == got;
    const bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    ok = ok && std::fflush(stdout) == 0 && !readFailed;
    if (!ok) error = readFailed ? "cannot read back the converted image" : "cannot write to standard output: " + std::string(std::strerror(errno));
    Remove();
    return ok;
}

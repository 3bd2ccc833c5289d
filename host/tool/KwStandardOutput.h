// An image for standard output: converted into a temporary file first, so that
// a failed conversion writes nothing there, then copied out whole.
#pragma once

#include <string>

class KwStandardOutput {
public:
    // A temporary file of `format` ("png", ...) in the system's temporary folder;
    // it goes when this does, or when the process is interrupted.
    explicit KwStandardOutput(const std::string& format);
    ~KwStandardOutput();
    KwStandardOutput(const KwStandardOutput&) = delete;
    KwStandardOutput& operator=(const KwStandardOutput&) = delete;

    // Where the conversion writes.
    const std::string& Path() const { return m_Path; }
    // Copies the finished file to standard output, in binary mode, and removes
    // it. False with a message when it cannot be read or standard output fails.
    bool Send(std::string& error);

private:
    void Remove();

    std::string m_Path;
};

#pragma once

#include <string>

// Points the registry at a fresh file in a fresh folder for one test (ctest runs
// the cases of this suite in parallel processes), and back afterwards.
class ScopedRegistryFile {
public:
    ScopedRegistryFile();
    ~ScopedRegistryFile();
    const std::string& Path() const { return m_Path; }
    const std::string& Folder() const { return m_Folder; }
    std::string Text() const; // the file as it is on disk now
    // Makes the folder and the file unwritable, but readable, for the commands
    // run behind the prefix it returns: as root, whom modes do not stop, they
    // run without the capabilities that override modes; any other user is
    // stopped by the modes themselves.
    std::string DenyWrites();

private:
    std::string m_Folder;
    std::string m_Path;
    std::string m_Previous;
    bool m_HadPrevious = false;
    bool m_WritesDenied = false;
};

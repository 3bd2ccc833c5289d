#include "ScopedRegistryFile.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

ScopedRegistryFile::ScopedRegistryFile()
{
    char folder[] = "/tmp/kwplatform-test-XXXXXX";
    if (!mkdtemp(folder)) ADD_FAILURE() << "mkdtemp failed";
    m_Folder = folder;
    m_Path = m_Folder + "/registry.reg";
    if (const char* previous = std::getenv("KWPLATFORM_REGISTRY")) {
        m_Previous = previous;
        m_HadPrevious = true;
    }
    setenv("KWPLATFORM_REGISTRY", m_Path.c_str(), 1);
}

ScopedRegistryFile::~ScopedRegistryFile()
{
    if (m_HadPrevious) setenv("KWPLATFORM_REGISTRY", m_Previous.c_str(), 1);
    else unsetenv("KWPLATFORM_REGISTRY");
    if (m_WritesDenied) chmod(m_Folder.c_str(), 0755);
    const std::string command = "rm -rf '" + m_Folder + "'";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << m_Folder;
}

std::string ScopedRegistryFile::Text() const
{
    std::ifstream in(m_Path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ScopedRegistryFile::DenyWrites()
{
    m_WritesDenied = true;
    chmod(m_Path.c_str(), 0444);
    if (chmod(m_Folder.c_str(), 0555) != 0) ADD_FAILURE() << "cannot change " << m_Folder;
    // Root writes whatever the modes say; without the capabilities that override them it is held
    // to the owner's bits as any user is, and still reaches a build tree that only root may enter.
    if (geteuid() != 0) return "";
    return "setpriv --bounding-set -dac_override,-dac_read_search,-fowner,-linux_immutable --";
}

// Test support without GL: shell commands, whole files, fresh directories.
#include "support/files.h"
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <sys/wait.h>

int runCommand(const std::string& command)
{
    int status = system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string makeTempDir(const std::string& name)
{
    std::string dir = "tmp_" + name;
    runCommand("rm -rf '" + dir + "' && mkdir -p '" + dir + "'");
    return dir;
}

int countOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

InDirectory::InDirectory(const char* name)
{
    if (!getcwd(previous, sizeof(previous))) previous[0] = 0;
    dir = makeTempDir(name);
    EXPECT_EQ(0, chdir(dir.c_str()));
    mkdir("data", 0755);
}

InDirectory::~InDirectory() { EXPECT_EQ(0, chdir(previous)); }

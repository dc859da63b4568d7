// Test support without GL: shell commands, whole files, fresh directories.
#include "support/files.h"
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

// Test support without GL: running shell commands, reading files whole and
// fresh working directories.
#pragma once
#include <string>

// Runs a shell command, returns its exit status (-1 if it did not exit normally).
int runCommand(const std::string& command);
std::string readFile(const std::string& path);
// A fresh empty directory under the test's working directory.
std::string makeTempDir(const std::string& name);

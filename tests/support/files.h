// Test support without GL: running shell commands, reading files whole and
// fresh working directories.
#pragma once
#include <string>

// Runs a shell command, returns its exit status (-1 if it did not exit normally).
int runCommand(const std::string& command);
std::string readFile(const std::string& path);
// A fresh empty directory under the test's working directory.
std::string makeTempDir(const std::string& name);
// How often what occurs in text (overlapping occurrences count).
int countOf(const std::string& text, const std::string& what);
// While alive, the working directory is a fresh directory holding an empty
// "data/" (dataPath prefixes "./data/"); the previous one comes back after.
struct InDirectory {
    char previous[4096];
    std::string dir;
    explicit InDirectory(const char* name);
    ~InDirectory();
};

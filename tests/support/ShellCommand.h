#pragma once

#include <string>

// POSIX only: the tests that compare with real tools (diff, patch, sha256sum) run them here.

// Runs a command line through the shell; its exit code, or -1 when it did not end normally.
int RunShell(const std::string& commandLine);
// Whether `program` is found on the PATH.
bool HaveProgram(const std::string& program);
// One shell word, whatever the text holds.
std::string ShellQuoted(const std::string& text);

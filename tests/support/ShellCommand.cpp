#include "tests/support/ShellCommand.h"

#include <sys/wait.h>

#include <cstdlib>

int RunShell(const std::string& commandLine) {
    int status = std::system(commandLine.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveProgram(const std::string& program) {
    return RunShell("command -v " + ShellQuoted(program) + " >/dev/null 2>&1") == 0;
}

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

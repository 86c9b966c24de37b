#pragma once

// Runs the built `scrivox` program as a user would, with its store in a folder of the test's own.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

struct Result {
    int exitCode = -1;
    std::string out, err;
};

class ScrivoxCli : public ::testing::Test {
protected:
    Result Run(const std::vector<std::string>& args) {
        // A program that hangs fails its test (exit code 124) instead of stopping the suite.
        std::string cmd = env_ + " XDG_CONFIG_HOME=" + Quoted(home_.Path()) +
                          " XDG_STATE_HOME=" + Quoted(state_.empty() ? home_.Join("state") : state_) +
                          " timeout 60 '" SCRIVOX_CLI_PATH "'";
        for (const std::string& a : args)
            cmd += " " + Quoted(a);
        cmd += " >'" + home_.Join("out") + "' 2>'" + home_.Join("err") + "' </dev/null";
        Result r;
        int status = std::system(cmd.c_str());
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = home_.Read("out");
        r.err = home_.Read("err");
        return r;
    }
    std::string UserReg() {
        return home_.Exists("scrivox/user.reg") ? home_.Read("scrivox/user.reg") : "";
    }
    void WriteUserReg(const std::string& text) { home_.Write("scrivox/user.reg", text); }

    // One shell word, whatever the text holds.
    static std::string Quoted(const std::string& text) {
        std::string quoted = "'";
        for (char c : text)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    }

    TempDir home_;
    TempDir tree_;
    std::string env_;    // variables for the program: "TZ=UTC"
    std::string state_;  // its state folder, when not home_'s "state"
};

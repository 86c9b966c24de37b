#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/win32/WidePath.h"  // Widen, for command lines
#include "tests/support/TempDir.h"
#include "tests/win32/GuiDriver.h"

// The GUI tests' fixture. Every test starts from an empty store; whatever the user had is put
// back at the end. The store is the program's real one, so two runs of this suite in one Wine
// prefix (the 32- and the 64-bit build share it) take turns. Each test has a LOCALAPPDATA of
// its own, where the program it starts keeps its runs: no test sees another's, and none touches
// the user's.
class ScrivoxGui : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Starts the program and waits for its window.
    static void Start(Scrivox& app);
    static void Quit(Scrivox& app);

    // Where this test's program keeps its runs.
    std::string RunsFolder() const { return state_.Join("Scrivox/Runs"); }

    TempDir files_;
    TempDir state_;

private:
    std::wstring savedState_;
    bool hadState_ = false;
    static HANDLE storeLock_;
};

// Waits for a window of the program to be destroyed; false when the time ran out.
bool WaitUntilGone(HWND window);

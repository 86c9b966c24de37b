// A run on a big tree, as the window lives with it: the window answers while the run goes,
// shows its progress, stops between files on Stop or Escape, and a frame closed meanwhile waits
// for the run to stop before the program ends. Every file is whole after, old or new.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/win32/GuiFixture.h"

namespace {

constexpr int kFolders = 40;
constexpr int kFilesPerFolder = 100;
const std::string kOld = std::string(2000, 'x') + " hello " + std::string(2000, 'y');
const std::string kNew = std::string(2000, 'x') + " bye " + std::string(2000, 'y');

std::string FileName(int folder, int file) {
    return "d" + std::to_string(folder) + "/f" + std::to_string(file) + ".txt";
}

// Names of every file below `folder`, relative to it.
void ListFiles(const std::string& folder, const std::string& prefix, std::vector<std::string>& out) {
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(folder + "\\" + name, prefix + name + "/", out);
        else
            out.push_back(prefix + name);
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
}

class RunningGui : public ScrivoxGui {
protected:
    void SetUp() override {
        ScrivoxGui::SetUp();
        for (int d = 0; d < kFolders; ++d) {
            for (int f = 0; f < kFilesPerFolder; ++f)
                files_.Write(FileName(d, f), kOld);
        }
    }

    void StartRun(const Scrivox& app) const {
        app.SetText(IDC_FOLDER_LIST, files_.Path());
        app.SetText(IDC_FILTER_LIST, "*.txt");
        app.SetText(IDC_FIND_LIST, "hello");
        app.SetText(IDC_REPLACE_LIST, "bye");
        app.Click(IDOK);
    }

    // Waits until the run has done some files, as its status line tells.
    static bool WaitForProgress(const Scrivox& app) {
        const DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < kStepTimeoutMs) {
            const std::string line = app.Text(IDC_STATUS);
            if (line.find(" changed") != std::string::npos && line.rfind("0 files", 0) != 0)
                return true;
            ::Sleep(20);
        }
        return false;
    }

    // Every file is there, old or new and nothing else; no temporary file is left. Gives how
    // many were changed.
    int ExpectEveryFileWhole() const {
        std::vector<std::string> names;
        ListFiles(files_.Path(), "", names);
        std::set<std::string> expected;
        for (int d = 0; d < kFolders; ++d) {
            for (int f = 0; f < kFilesPerFolder; ++f)
                expected.insert(FileName(d, f));
        }
        int changed = 0;
        for (const std::string& name : names) {
            EXPECT_EQ(expected.count(name), 1u) << name << " should not be there";
            if (!expected.count(name))
                continue;
            const std::string content = files_.Read(name);
            EXPECT_TRUE(content == kOld || content == kNew) << name << " is not whole";
            changed += content == kNew;
        }
        EXPECT_EQ(names.size(), expected.size());
        return changed;
    }
};

TEST_F(RunningGui, StopMidRunLeavesEveryFileWholeAndReportsStopped) {
    Scrivox app;
    Start(app);
    StartRun(app);
    ASSERT_TRUE(WaitForProgress(app)) << "no progress shown";
    EXPECT_EQ(app.Text(IDOK), "Stop");
    for (int id : {IDC_PREVIEW, IDC_UNDO, IDCANCEL, IDC_HELP_BUTTON, IDC_BROWSE, IDC_FOLDER_LIST,
                   IDC_FILTER_LIST, IDC_FIND_LIST, IDC_REPLACE_LIST, IDC_SUBFOLDERS,
                   IDC_FIND_RADIO, IDC_TOUCH_RADIO, IDC_CASE_SENSITIVE, IDC_CREATE_BACKUPS})
        EXPECT_FALSE(::IsWindowEnabled(app.Item(id))) << "control " << id << " is on";

    // The window answers at once while the run goes, and its progress moves.
    const std::string first = app.Text(IDC_STATUS);
    bool moved = false;
    for (int i = 0; i < 10; ++i) {
        const DWORD before = ::GetTickCount();
        DWORD_PTR result = 0;
        EXPECT_TRUE(::SendMessageTimeoutA(app.Dialog(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 100,
                                          &result))
            << "no answer within 100 ms";
        EXPECT_LT(::GetTickCount() - before, 150u);
        ::Sleep(100);
        moved = moved || app.Text(IDC_STATUS) != first;
    }
    EXPECT_TRUE(moved) << "the progress stayed at: " << first;

    app.Click(IDOK);
    const SeenMessageBox report = app.TakeMessageBox();
    EXPECT_EQ(report.caption, "Replace");
    EXPECT_EQ(report.text.rfind("Stopped.", 0), 0u) << report.text;
    EXPECT_EQ(app.Text(IDOK), "&Do!");
    EXPECT_TRUE(app.IsActive(IDC_PREVIEW));
    EXPECT_TRUE(app.IsActive(IDC_FIND_LIST));
    const int changed = ExpectEveryFileWhole();
    EXPECT_GT(changed, 0);
    EXPECT_LT(changed, kFolders * kFilesPerFolder) << "the run was not stopped";
    // The report counts what was done.
    EXPECT_NE(report.text.find(std::to_string(changed) + " files processed."), std::string::npos)
        << report.text;
    Quit(app);
}

TEST_F(RunningGui, EscapeStopsTheRunAndNotTheProgram) {
    Scrivox app;
    Start(app);
    StartRun(app);
    ASSERT_TRUE(WaitForProgress(app));
    app.PressKey(app.Item(IDOK), VK_ESCAPE);
    const SeenMessageBox report = app.TakeMessageBox();
    EXPECT_EQ(report.text.rfind("Stopped.", 0), 0u) << report.text;
    EXPECT_LT(ExpectEveryFileWhole(), kFolders * kFilesPerFolder);
    EXPECT_EQ(::WaitForSingleObject(app.Process(), 0), DWORD(WAIT_TIMEOUT));
    Quit(app);
}

TEST_F(RunningGui, ClosingTheFrameStopsTheRunThenEnds) {
    Scrivox app;
    Start(app);
    StartRun(app);
    ASSERT_TRUE(WaitForProgress(app));
    ::PostMessageA(app.Frame(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(app.WaitForExit()) << "the program did not end";
    EXPECT_EQ(app.ExitCode(), 0u);
    EXPECT_LT(ExpectEveryFileWhole(), kFolders * kFilesPerFolder);
}

TEST_F(RunningGui, PreviewWalkShowsProgressAndCanBeStopped) {
    Scrivox app;
    Start(app);
    app.SetText(IDC_FOLDER_LIST, files_.Path());
    app.SetText(IDC_FILTER_LIST, "*.txt");
    app.SetText(IDC_FIND_LIST, "hello");
    app.SetText(IDC_REPLACE_LIST, "bye");
    app.Click(IDC_PREVIEW);
    ASSERT_TRUE(WaitForProgress(app));
    EXPECT_EQ(app.Text(IDOK), "Stop");
    app.Click(IDOK);
    const DWORD start = ::GetTickCount();
    while (app.Text(IDOK) != "&Do!" && ::GetTickCount() - start < kStepTimeoutMs)
        ::Sleep(50);
    EXPECT_EQ(app.Text(IDC_STATUS), "Preview stopped.");
    for (HWND window : app.TopWindows())
        EXPECT_NE(WindowText(window), "Preview") << "a stopped preview opened its window";
    EXPECT_EQ(ExpectEveryFileWhole(), 0);
    Quit(app);
}

}  // namespace

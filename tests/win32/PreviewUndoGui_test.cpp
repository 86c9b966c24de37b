// Preview... and Undo last run, driven as a user would: what the preview window lists and
// shows, the run it starts, and the undo that gives every byte back.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "engine/RunHistory.h"
#include "framework/FileTimes.h"
#include "resources/resource.h"
#include "settings/TConfigFile.h"
#include "settings/TRegConfigFile.h"
#include "tests/win32/GuiFixture.h"
#include "ui/DoCommand.h"

namespace {

using Row = std::tuple<std::string, std::string, std::string>;  // name, folder, replacements

void FillFind(const Scrivox& app, const std::string& folder, const std::string& filter) {
    app.SetText(IDC_FOLDER_LIST, folder);
    app.SetText(IDC_FILTER_LIST, filter);
    app.SetText(IDC_FIND_LIST, "hello");
    app.SetText(IDC_REPLACE_LIST, "bye");
}

HWND OpenPreview(const Scrivox& app) {
    app.Click(IDC_PREVIEW);
    HWND preview = app.WaitForDialog("Preview");
    EXPECT_NE(preview, nullptr) << "no preview window";
    return preview;
}

std::vector<Row> Rows(const Scrivox& app, HWND preview) {
    HWND list = ::GetDlgItem(preview, IDC_PREVIEW_LIST);
    std::vector<Row> rows;
    for (int row = 0; row < app.ListRows(list); ++row)
        rows.emplace_back(app.ListCell(list, row, 0), app.ListCell(list, row, 1),
                          app.ListCell(list, row, 2));
    return rows;
}

int RowOf(const std::vector<Row>& rows, const std::string& name) {
    for (size_t i = 0; i < rows.size(); ++i) {
        if (std::get<0>(rows[i]) == name)
            return int(i);
    }
    return -1;
}

// Clicks a button of the preview window and waits for the window to go.
void Press(HWND preview, int id) {
    ::PostMessageA(::GetDlgItem(preview, id), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntilGone(preview));
}

bool OptionsStored() {
    TRegConfigFile store(kProgramStoreName);
    return !store.EntryNames(kOptionsSection).empty();
}

TTime LastWrite(const std::string& path) {
    FileTimes times;
    EXPECT_TRUE(GetFileTimes(path, times)) << path;
    return times.lastWrite;
}

const std::string kA = "hello world,\r\nhello \xc3\xa9t\xc3\xa9\r\n";
const std::string kB = "say hello\n";

// The preview names each file that would change with its folder and replacements, shows a
// file's diff on Enter, changes nothing; its Run is the Do! command's run, kept so that Undo
// last run gives each file back byte for byte, time included.
TEST_F(ScrivoxGui, PreviewRunAndUndoRoundTrip) {
    files_.Write("a.txt", kA);
    files_.Write("sub/b.txt", kB);
    files_.Write("sub/c.txt", "nothing here");
    files_.Write("d.dat", "hello");
    const TTime old = TimeFromUnix(1400000000, 0);
    ASSERT_TRUE(SetLastWriteTime(files_.Join("a.txt"), old));
    Scrivox app;
    Start(app);
    FillFind(app, files_.Path(), "*.txt");
    HWND preview = OpenPreview(app);
    ASSERT_NE(preview, nullptr);
    EXPECT_FALSE(::IsWindowEnabled(app.Frame()));
    EXPECT_EQ(WindowText(::GetDlgItem(preview, IDC_PREVIEW_TOTALS)),
              "2 files would change.\n3 replacements would be made.");
    std::vector<Row> rows = Rows(app, preview);
    std::vector<Row> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<Row>{{"a.txt", ".", "2"}, {"b.txt", "sub", "1"}}));

    // Enter on the list shows the selected file's changes, lines ending as the edit wants them.
    const int a = RowOf(rows, "a.txt");
    ASSERT_GE(a, 0);
    HWND list = ::GetDlgItem(preview, IDC_PREVIEW_LIST);
    app.SelectRow(list, a);
    app.PressKey(list, VK_RETURN);
    HWND changes = ::GetDlgItem(preview, IDC_PREVIEW_CHANGES);
    std::string shown;
    for (int i = 0; i < 100 && shown.find("+bye world,") == std::string::npos; ++i) {
        ::Sleep(50);
        shown = WindowText(changes);
    }
    EXPECT_NE(shown.find("@@ -1,2 +1,2 @@\r\n-hello world,\r\n-hello \xc3\xa9t\xc3\xa9\r\n"
                         "+bye world,\r\n+bye \xc3\xa9t\xc3\xa9\r\n"),
              std::string::npos)
        << shown;
    EXPECT_TRUE(::IsWindow(preview)) << "Enter must not run or close";
    EXPECT_EQ(files_.Read("a.txt"), kA);
    EXPECT_FALSE(OptionsStored());
    EXPECT_TRUE(ListRuns().empty());

    Press(preview, IDC_PREVIEW_RUN);
    const SeenMessageBox report = app.TakeMessageBox();
    EXPECT_EQ(report.caption, "Replace");
    EXPECT_EQ(report.text, "3 files processed.\n3 replacements made.");
    EXPECT_EQ(files_.Read("a.txt"), "bye world,\r\nbye \xc3\xa9t\xc3\xa9\r\n");
    EXPECT_EQ(files_.Read("sub/b.txt"), "say bye\n");
    EXPECT_TRUE(OptionsStored());
    const std::vector<RunRecord> runs = ListRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].files, 2);

    app.Click(IDC_UNDO);
    const SeenMessageBox question = app.TakeMessageBox(IDYES);
    EXPECT_EQ(question.buttons, (std::vector<std::string>{"&Yes", "&No"}));
    EXPECT_TRUE(question.hasIcon);
    EXPECT_NE(question.text.find("Folder: " + files_.Path() + "\n"), std::string::npos)
        << question.text;
    EXPECT_NE(question.text.find("It replaced \"hello\" with \"bye\" in 2 files."),
              std::string::npos)
        << question.text;
    EXPECT_EQ(app.TakeMessageBox().text, "2 files restored.");
    EXPECT_EQ(files_.Read("a.txt"), kA);
    EXPECT_EQ(files_.Read("sub/b.txt"), kB);
    EXPECT_EQ(LastWrite(files_.Join("a.txt")), old);

    app.Click(IDC_UNDO);
    const SeenMessageBox nothing = app.TakeMessageBox();
    EXPECT_EQ(nothing.text, "There is no run to undo.");
    EXPECT_TRUE(nothing.hasIcon);
    Quit(app);
}

// A double click shows that row's changes; Close runs nothing and stores nothing.
TEST_F(ScrivoxGui, PreviewDoubleClickShowsAndCloseDoesNothing) {
    files_.Write("a.txt", "hello\n");
    files_.Write("b.txt", "one\nhello hello\n");
    Scrivox app;
    Start(app);
    FillFind(app, files_.Path(), "*.txt");
    HWND preview = OpenPreview(app);
    ASSERT_NE(preview, nullptr);
    const std::vector<Row> rows = Rows(app, preview);
    const int b = RowOf(rows, "b.txt");
    ASSERT_GE(b, 0);
    EXPECT_EQ(std::get<2>(rows[size_t(b)]), "2");
    app.DoubleClickRow(::GetDlgItem(preview, IDC_PREVIEW_LIST), b);
    std::string shown;
    for (int i = 0; i < 100 && shown.find("+bye bye") == std::string::npos; ++i) {
        ::Sleep(50);
        shown = WindowText(::GetDlgItem(preview, IDC_PREVIEW_CHANGES));
    }
    EXPECT_NE(shown.find(" one\r\n-hello hello\r\n+bye bye\r\n"), std::string::npos) << shown;
    Press(preview, IDCANCEL);
    EXPECT_EQ(files_.Read("a.txt"), "hello\n");
    EXPECT_EQ(files_.Read("b.txt"), "one\nhello hello\n");
    EXPECT_FALSE(OptionsStored());
    EXPECT_TRUE(ListRuns().empty());
    // Nothing was run: nothing is there to undo.
    app.Click(IDC_UNDO);
    EXPECT_EQ(app.TakeMessageBox().text, "There is no run to undo.");
    Quit(app);
}

// A binary file that Find takes shows a one-line summary instead of its diff.
TEST_F(ScrivoxGui, PreviewOfBinaryFileSaysSoInOneLine) {
    files_.Write("a.bin", std::string("hello\0\x01", 7));
    Scrivox app;
    Start(app);
    app.ClickNow(IDC_BINARY_FILES);
    FillFind(app, files_.Path(), "*.bin");
    HWND preview = OpenPreview(app);
    ASSERT_NE(preview, nullptr);
    const std::string shown = WindowText(::GetDlgItem(preview, IDC_PREVIEW_CHANGES));
    EXPECT_NE(shown.find("binary"), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\n'), std::string::npos) << shown;
    Press(preview, IDCANCEL);
    Quit(app);
}

TEST_F(ScrivoxGui, TouchPreviewListsTheFilesToBeTouched) {
    files_.Write("a.txt", "one");
    files_.Write("sub/b.txt", "two");
    files_.Write("c.log", "three");
    const TTime old = TimeFromUnix(1400000000, 0);
    ASSERT_TRUE(SetLastWriteTime(files_.Join("a.txt"), old));
    Scrivox app;
    Start(app);
    app.ClickNow(IDC_TOUCH_RADIO);
    app.SetText(IDC_FOLDER_LIST, files_.Path());
    app.SetText(IDC_FILTER_LIST, "*.txt");
    HWND preview = OpenPreview(app);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(WindowText(::GetDlgItem(preview, IDC_PREVIEW_TOTALS)), "2 files would be touched.");
    std::vector<Row> rows = Rows(app, preview);
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<Row>{{"a.txt", ".", ""}, {"b.txt", "sub", ""}}));
    Press(preview, IDCANCEL);
    EXPECT_EQ(LastWrite(files_.Join("a.txt")), old);
    Quit(app);
}

// Answered No, the question changes nothing; a file changed since the run is left as it is and
// the report says so; a journal damaged while the question was open is refused in words.
TEST_F(ScrivoxGui, UndoAsksAndLeavesWhatChangedSince) {
    files_.Write("a.txt", "hello");
    files_.Write("b.txt", "hello");
    Scrivox app;
    Start(app);
    FillFind(app, files_.Path(), "*.txt");
    app.Click(IDOK);
    EXPECT_EQ(app.TakeMessageBox().text, "2 files processed.\n2 replacements made.");
    files_.Write("b.txt", "edited since");

    app.Click(IDC_UNDO);
    app.TakeMessageBox(IDNO);
    EXPECT_EQ(files_.Read("a.txt"), "bye");
    ASSERT_EQ(ListRuns().size(), 1u);
    EXPECT_FALSE(ListRuns()[0].undone);

    app.Click(IDC_UNDO);
    app.TakeMessageBox(IDYES);
    EXPECT_EQ(app.TakeMessageBox().text,
              "1 file restored.\n1 file was left because it changed since.");
    EXPECT_EQ(files_.Read("a.txt"), "hello");
    EXPECT_EQ(files_.Read("b.txt"), "edited since");

    // A second run; its journal is damaged while the question is open.
    app.Click(IDOK);
    EXPECT_EQ(app.TakeMessageBox().text, "2 files processed.\n1 replacement made.");
    std::vector<RunRecord> runs = ListRuns();
    ASSERT_EQ(runs.size(), 2u);
    const std::string id = runs.back().id;
    app.Click(IDC_UNDO);
    app.TakeMessageBox(
        IDYES, [&] { WriteWholeFile(RunsFolder() + "\\" + id + "\\journal", "not a journal"); });
    const SeenMessageBox refusal = app.TakeMessageBox();
    EXPECT_EQ(refusal.text, "The journal of run " + id + " is damaged: nothing was restored.");
    EXPECT_TRUE(refusal.hasIcon);
    EXPECT_EQ(files_.Read("a.txt"), "bye");
    Quit(app);
}

// The unattended run keeps its journal too: the next start can undo it.
TEST_F(ScrivoxGui, UnattendedRunCanBeUndone) {
    files_.Write("a.txt", "red green red");
    {
        Scrivox run(L"\"" + Widen(files_.Path()) + L"\" *.txt red blue");
        ASSERT_TRUE(run.WaitForExit());
        EXPECT_EQ(run.ExitCode(), 0u);
    }
    EXPECT_EQ(files_.Read("a.txt"), "blue green blue");
    Scrivox app;
    Start(app);
    app.Click(IDC_UNDO);
    app.TakeMessageBox(IDYES);
    EXPECT_EQ(app.TakeMessageBox().text, "1 file restored.");
    EXPECT_EQ(files_.Read("a.txt"), "red green red");
    Quit(app);
}

// A run that cannot keep its journal still runs, and its report says why it cannot be undone.
TEST_F(ScrivoxGui, RunWithoutAJournalSaysSoInItsReport) {
    files_.Write("a.txt", "hello");
    state_.Write("not a folder", "");
    ASSERT_TRUE(
        ::SetEnvironmentVariableW(L"LOCALAPPDATA", Widen(state_.Join("not a folder")).c_str()));
    Scrivox app;
    Start(app);
    FillFind(app, files_.Path(), "*.txt");
    app.Click(IDOK);
    const std::string report = app.TakeMessageBox().text;
    EXPECT_EQ(
        report.rfind("1 file processed.\n1 replacement made.\n\nThis run cannot be undone: ", 0),
        0u)
        << report;
    EXPECT_EQ(files_.Read("a.txt"), "bye");
    Quit(app);
}

}  // namespace

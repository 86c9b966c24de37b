// Drives Scrivox.exe as a user would and checks what it leaves behind: files, their times and
// the per-user store. Needs a display.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/RunHistory.h"
#include "framework/FileTimes.h"
#include "framework/LocalTime.h"
#include "resources/resource.h"
#include "settings/TRegConfigFile.h"
#include "tests/support/TempDir.h"
#include "tests/win32/GuiDriver.h"
#include "tests/win32/GuiFixture.h"
#include "ui/DoCommand.h"
#include "version.h"

namespace {

const int kLists[] = {IDC_FOLDER_LIST, IDC_FILTER_LIST, IDC_FIND_LIST, IDC_REPLACE_LIST};
const char* const kHistoryNames[] = {"Folder", "Filter", "Find", "Replace"};
const int kFindControls[] = {IDC_FIND_LIST,      IDC_REPLACE_LIST,   IDC_FIND_LABEL,
                             IDC_REPLACE_LABEL,  IDC_CASE_SENSITIVE, IDC_WHOLE_WORDS,
                             IDC_CREATE_BACKUPS, IDC_KEEP_DATES,     IDC_BINARY_FILES};
const int kTouchControls[] = {IDC_FILE_TIME_LABEL, IDC_TIME_PICKER, IDC_DATE_PICKER};

std::string HistorySection(const std::string& name) {
    return std::string("History Lists\\") + name;
}

std::vector<std::string> StoredHistory(const std::string& name, int32_t* count = nullptr) {
    TRegConfigFile store(kProgramStoreName);
    const int32_t n = store.ReadInteger(HistorySection(name), "Count", -1);
    if (count)
        *count = n;
    std::vector<std::string> values;
    for (int32_t i = 0; i < n; ++i) {
        char text[1024] = {};
        store.ReadString(HistorySection(name), "Value" + std::to_string(i), text, sizeof text, "");
        values.push_back(text);
    }
    return values;
}

void StoreHistory(const std::string& name, const std::vector<std::string>& values) {
    TRegConfigFile store(kProgramStoreName);
    (void)store.WriteInteger(HistorySection(name), "Count", int32_t(values.size()));
    for (size_t i = 0; i < values.size(); ++i)
        (void)store.WriteString(HistorySection(name), "Value" + std::to_string(i),
                                values[i].c_str());
}

void StoreAction(int32_t action) {
    TRegConfigFile store(kProgramStoreName);
    (void)store.WriteInteger(kOptionsSection, "Action", action);
}

void StoreBackups(bool on) {
    TRegConfigFile store(kProgramStoreName);
    (void)store.WriteBool(kOptionsSection, "CreateBackups", on);
}

StoredOptions Stored() {
    TRegConfigFile store(kProgramStoreName);
    return ReadStoredOptions(store);
}

bool OptionsStored() {
    TRegConfigFile store(kProgramStoreName);
    return !store.EntryNames(kOptionsSection).empty();
}

SYSTEMTIME MakeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME t{};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}

TTime LastWrite(const std::string& path) {
    FileTimes times;
    EXPECT_TRUE(GetFileTimes(path, times)) << path;
    return times.lastWrite;
}

TTime UtcNow() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return TTime{int64_t((uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime)};
}

void ExpectFindControlsShown(const Scrivox& app, bool find) {
    for (int id : kFindControls)
        EXPECT_EQ(app.IsShown(id), find) << "control " << id;
    for (int id : {IDC_FIND_LIST, IDC_REPLACE_LIST, IDC_CASE_SENSITIVE, IDC_WHOLE_WORDS,
                   IDC_CREATE_BACKUPS, IDC_KEEP_DATES, IDC_BINARY_FILES})
        EXPECT_EQ(::IsWindowEnabled(app.Item(id)) != FALSE, find) << "control " << id;
    for (int id : kTouchControls)
        EXPECT_EQ(app.IsShown(id), !find) << "control " << id;
    for (int id : {IDC_TIME_PICKER, IDC_DATE_PICKER})
        EXPECT_EQ(::IsWindowEnabled(app.Item(id)) != FALSE, !find) << "control " << id;
}

// --- Start-up and the main window ---------------------------------------------------------------

TEST_F(ScrivoxGui, FirstStartShowsDefaultsAndFindControls) {
    Scrivox app;
    Start(app);
    EXPECT_TRUE(app.IsChecked(IDC_SUBFOLDERS));
    EXPECT_TRUE(app.IsChecked(IDC_CASE_SENSITIVE));
    EXPECT_TRUE(app.IsChecked(IDC_WHOLE_WORDS));
    EXPECT_FALSE(app.IsChecked(IDC_CREATE_BACKUPS));
    EXPECT_FALSE(app.IsChecked(IDC_KEEP_DATES));
    EXPECT_FALSE(app.IsChecked(IDC_BINARY_FILES));
    EXPECT_TRUE(app.IsChecked(IDC_FIND_RADIO));
    EXPECT_FALSE(app.IsChecked(IDC_TOUCH_RADIO));
    for (int id : kLists) {
        EXPECT_EQ(app.Text(id), "") << "list " << id;
        EXPECT_EQ(app.ListCount(id), 0) << "list " << id;
    }
    ExpectFindControlsShown(app, true);
    Quit(app);
    // Nothing was typed: each list stores an empty history, and no options are written.
    for (const char* name : kHistoryNames) {
        int32_t count = -1;
        EXPECT_TRUE(StoredHistory(name, &count).empty());
        EXPECT_EQ(count, 0) << name;
    }
    EXPECT_FALSE(OptionsStored());
}

TEST_F(ScrivoxGui, FrameIsFixedSizeAroundTheDialog) {
    Scrivox app;
    Start(app);
    const LONG style = ::GetWindowLongA(app.Frame(), GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    RECT client, dialog;
    ::GetClientRect(app.Frame(), &client);
    ::GetWindowRect(app.Dialog(), &dialog);
    EXPECT_EQ(client.right - client.left, dialog.right - dialog.left);
    EXPECT_EQ(client.bottom - client.top, dialog.bottom - dialog.top);
    EXPECT_EQ(::GetWindowLongA(app.Dialog(), GWL_STYLE) & (WS_CHILD | WS_CAPTION), WS_CHILD);
    Quit(app);
}

TEST_F(ScrivoxGui, TooltipsCoverTenControls) {
    Scrivox app;
    Start(app);
    HWND tooltip = nullptr;
    for (HWND window : ProcessWindows(::GetProcessId(app.Process()), false)) {
        if (ClassName(window) == TOOLTIPS_CLASSA)
            tooltip = window;
    }
    ASSERT_NE(tooltip, nullptr);
    EXPECT_NE(::GetWindowLongA(tooltip, GWL_STYLE) & TTS_ALWAYSTIP, 0);
    // Ten controls; the Folder and Filter lists' edit fields carry their lists' tips too.
    EXPECT_EQ(::SendMessageA(tooltip, TTM_GETTOOLCOUNT, 0, 0), 10 + 2);
    Quit(app);
}

TEST_F(ScrivoxGui, MaximizedStartOpensNormalSized) {
    Scrivox app(L"", SW_SHOWMAXIMIZED);
    Start(app);
    EXPECT_FALSE(::IsZoomed(app.Frame()));
    EXPECT_FALSE(::IsIconic(app.Frame()));
    Quit(app);
}

TEST_F(ScrivoxGui, MinimizedNoActiveStartStaysMinimized) {
    Scrivox app(L"", SW_SHOWMINNOACTIVE);
    Start(app);
    EXPECT_TRUE(::IsIconic(app.Frame()));
    Quit(app);
}

TEST_F(ScrivoxGui, StoredTouchActionShowsPickers) {
    StoreAction(2);
    Scrivox app;
    Start(app);
    EXPECT_TRUE(app.IsChecked(IDC_TOUCH_RADIO));
    EXPECT_FALSE(app.IsChecked(IDC_FIND_RADIO));
    ExpectFindControlsShown(app, false);
    app.ClickNow(IDC_FIND_RADIO);
    ExpectFindControlsShown(app, true);
    // Clicking the radio that is already checked changes nothing.
    app.ClickNow(IDC_FIND_RADIO);
    ExpectFindControlsShown(app, true);
    app.ClickNow(IDC_TOUCH_RADIO);
    ExpectFindControlsShown(app, false);
    Quit(app);
}

TEST_F(ScrivoxGui, StoredActionOtherThanTwoMeansFind) {
    for (int32_t action : {0, 3, -1}) {
        StoreAction(action);
        Scrivox app;
        Start(app);
        EXPECT_TRUE(app.IsChecked(IDC_FIND_RADIO)) << action;
        ExpectFindControlsShown(app, true);
        Quit(app);
    }
}

TEST_F(ScrivoxGui, EscapeEndsTheProgram) {
    Scrivox app;
    Start(app);
    HWND edit = ::FindWindowExA(app.Item(IDC_FOLDER_LIST), nullptr, "Edit", nullptr);
    ASSERT_NE(edit, nullptr);
    app.PressKey(edit, VK_ESCAPE);
    ASSERT_TRUE(app.WaitForExit());
    EXPECT_EQ(app.ExitCode(), 0u);
}

TEST_F(ScrivoxGui, CloseBoxEndsTheProgramAndSavesHistories) {
    Scrivox app;
    Start(app);
    app.SetText(IDC_FOLDER_LIST, "C:\\Closed");
    ::PostMessageA(app.Frame(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(app.WaitForExit());
    EXPECT_EQ(StoredHistory("Folder"), std::vector<std::string>{"C:\\Closed"});
}

// --- The Do! command --------------------------------------------------------------------------

TEST_F(ScrivoxGui, InputChecksComeOneAtATimeInOrder) {
    Scrivox app;
    Start(app);
    const struct {
        int fill;  // the list filled before pressing Do!, or 0
        const char* text;
        const char* message;
    } steps[] = {
        {0, "", "Enter folder."},
        {IDC_FOLDER_LIST, "C:\\nowhere", "Enter filter."},
        {IDC_FILTER_LIST, "*.txt", "Enter search string."},
        {IDC_FIND_LIST, "old", "Enter replace string."},
    };
    for (const auto& step : steps) {
        if (step.fill)
            app.SetText(step.fill, step.text);
        app.Click(IDOK);
        const SeenMessageBox box = app.TakeMessageBox();
        EXPECT_EQ(box.text, step.message);
        EXPECT_EQ(box.caption, SCRIVOX_APP_NAME);
        EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
        EXPECT_FALSE(box.hasIcon);
        EXPECT_EQ(box.owner, app.Frame());
    }
    // A refused run stores nothing, and the fields stay as they were.
    EXPECT_FALSE(OptionsStored());
    EXPECT_EQ(app.Text(IDC_FIND_LIST), "old");
    Quit(app);
}

TEST_F(ScrivoxGui, MissingFolderIsRefusedLikeTheOtherInputs) {
    Scrivox app;
    Start(app);
    app.SetText(IDC_FOLDER_LIST, files_.Join("not there"));
    app.SetText(IDC_FILTER_LIST, "*.txt");
    app.SetText(IDC_FIND_LIST, "old");
    app.SetText(IDC_REPLACE_LIST, "new");
    for (int button : {IDOK, IDC_PREVIEW}) {
        app.Click(button);
        const SeenMessageBox box = app.TakeMessageBox();
        EXPECT_EQ(box.text, "Folder not found.");
        EXPECT_EQ(box.caption, SCRIVOX_APP_NAME);
        EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
        EXPECT_FALSE(box.hasIcon);
        EXPECT_EQ(box.owner, app.Frame());
    }
    EXPECT_FALSE(OptionsStored());
    EXPECT_FALSE(files_.Exists("not there"));
    Quit(app);
    // Nothing was run, so no run was kept.
    EXPECT_TRUE(ListRuns().empty());
}

TEST_F(ScrivoxGui, EnterInAListRunsDo) {
    Scrivox app;
    Start(app);
    HWND edit = ::FindWindowExA(app.Item(IDC_FILTER_LIST), nullptr, "Edit", nullptr);
    ASSERT_NE(edit, nullptr);
    app.PressKey(edit, VK_RETURN);
    EXPECT_EQ(app.TakeMessageBox().text, "Enter folder.");
    Quit(app);
}

TEST_F(ScrivoxGui, FindRunChangesFilesAndReports) {
    files_.Write("a.txt", "hello world, hello");
    files_.Write("sub/b.txt", "hello");
    files_.Write("c.dat", "hello");
    Scrivox app;
    Start(app);
    app.SetText(IDC_FOLDER_LIST, files_.Path());
    app.SetText(IDC_FILTER_LIST, "*.txt");
    app.SetText(IDC_FIND_LIST, "hello");
    app.SetText(IDC_REPLACE_LIST, "bye");
    app.ClickNow(IDC_CREATE_BACKUPS);
    app.Click(IDOK);
    const SeenMessageBox report = app.TakeMessageBox();
    EXPECT_EQ(report.caption, "Replace");
    EXPECT_EQ(report.text, "2 files processed.\n3 replacements made.");
    EXPECT_FALSE(report.hasIcon);
    EXPECT_EQ(files_.Read("a.txt"), "bye world, bye");
    EXPECT_EQ(files_.Read("sub/b.txt"), "bye");
    EXPECT_EQ(files_.Read("c.dat"), "hello");
    EXPECT_EQ(files_.Read("Backup of a.txt"), "hello world, hello");
    const StoredOptions options = Stored();
    EXPECT_EQ(options.action, Action::Find);
    EXPECT_TRUE(options.subfolders);
    EXPECT_TRUE(options.createBackups);
    Quit(app);
    // Each list keeps the text it ran with.
    EXPECT_EQ(StoredHistory("Folder"), std::vector<std::string>{files_.Path()});
    EXPECT_EQ(StoredHistory("Filter"), std::vector<std::string>{"*.txt"});
    EXPECT_EQ(StoredHistory("Find"), std::vector<std::string>{"hello"});
    EXPECT_EQ(StoredHistory("Replace"), std::vector<std::string>{"bye"});
}

// Keep file dates and Binary files too show the stored options, change the run, are stored by
// it, and the report says how many binary files were left alone.
TEST_F(ScrivoxGui, KeepDatesAndBinaryFilesAreFindOptions) {
    {
        TRegConfigFile store(kProgramStoreName);
        (void)store.WriteBool(kOptionsSection, "KeepDates", true);
    }
    files_.Write("a.txt", "hello");
    files_.Write("b.txt", std::string("hello\0", 6));
    const TTime old = TimeFromUnix(1400000000, 0);
    ASSERT_TRUE(SetLastWriteTime(files_.Join("a.txt"), old));
    Scrivox app;
    Start(app);
    EXPECT_TRUE(app.IsChecked(IDC_KEEP_DATES));
    EXPECT_FALSE(app.IsChecked(IDC_BINARY_FILES));
    app.SetText(IDC_FOLDER_LIST, files_.Path());
    app.SetText(IDC_FILTER_LIST, "*.txt");
    app.SetText(IDC_FIND_LIST, "hello");
    app.SetText(IDC_REPLACE_LIST, "bye");
    app.Click(IDOK);
    EXPECT_EQ(app.TakeMessageBox().text,
              "1 file processed.\n1 replacement made.\n1 binary file left alone.");
    EXPECT_EQ(files_.Read("a.txt"), "bye");
    EXPECT_EQ(LastWrite(files_.Join("a.txt")), old);
    app.ClickNow(IDC_BINARY_FILES);
    app.ClickNow(IDC_KEEP_DATES);
    app.Click(IDOK);
    EXPECT_EQ(app.TakeMessageBox().text, "2 files processed.\n1 replacement made.");
    EXPECT_EQ(files_.Read("b.txt"), std::string("bye\0", 4));
    const StoredOptions options = Stored();
    EXPECT_FALSE(options.keepDates);
    EXPECT_TRUE(options.binaryFiles);
    Quit(app);
}

TEST_F(ScrivoxGui, FindRunOverNothingStillReportsOnce) {
    files_.MakeFolder("empty");
    Scrivox app;
    Start(app);
    app.SetText(IDC_FOLDER_LIST, files_.Join("empty"));
    app.SetText(IDC_FILTER_LIST, "*.txt");
    app.SetText(IDC_FIND_LIST, "a");
    app.SetText(IDC_REPLACE_LIST, "b");
    app.Click(IDOK);
    EXPECT_EQ(app.TakeMessageBox().text, "No files processed.\nNo replacements made.");
    // Options are stored before the walk, so a run that found nothing stores them too.
    EXPECT_TRUE(OptionsStored());
    Quit(app);
}

TEST_F(ScrivoxGui, TouchRunSetsThePickedTimeAndKeepsFindOptions) {
    files_.Write("a.txt", "one");
    files_.Write("sub/b.txt", "two");
    {
        TRegConfigFile store(kProgramStoreName);
        (void)store.WriteBool(kOptionsSection, "CaseSensitive", true);
        (void)store.WriteBool(kOptionsSection, "CreateBackups", false);
    }
    Scrivox app;
    Start(app);
    // Changed while Find shows them, then hidden: a Touch run must not store them.
    app.ClickNow(IDC_CASE_SENSITIVE);
    app.ClickNow(IDC_CREATE_BACKUPS);
    app.ClickNow(IDC_TOUCH_RADIO);
    app.SetText(IDC_FOLDER_LIST, files_.Path());
    app.SetText(IDC_FILTER_LIST, "*.txt");
    // Only the date picker's date and the time picker's time of day count.
    app.SetPicker(IDC_DATE_PICKER, MakeTime(2001, 3, 1, 8, 0, 0));
    app.SetPicker(IDC_TIME_PICKER, MakeTime(1999, 12, 31, 13, 45, 30));
    app.Click(IDOK);
    const SeenMessageBox report = app.TakeMessageBox();
    EXPECT_EQ(report.caption, "Replace");
    EXPECT_EQ(report.text, "2 files processed.");
    TTime expected;
    ASSERT_TRUE(LocalToUtcAtCurrentOffset(TDateTime{2001, 3, 1, 13, 45, 30}, expected));
    EXPECT_EQ(LastWrite(files_.Join("a.txt")), expected);
    EXPECT_EQ(LastWrite(files_.Join("sub/b.txt")), expected);
    EXPECT_EQ(files_.Read("a.txt"), "one");
    const StoredOptions options = Stored();
    EXPECT_EQ(options.action, Action::Touch);
    EXPECT_TRUE(options.caseSensitive);
    EXPECT_FALSE(options.createBackups);
    Quit(app);
}

TEST_F(ScrivoxGui, TouchNeedsNoFindTexts) {
    files_.MakeFolder("empty");
    StoreAction(2);
    Scrivox app;
    Start(app);
    app.SetText(IDC_FOLDER_LIST, files_.Join("empty"));
    app.SetText(IDC_FILTER_LIST, "*.txt");
    app.Click(IDOK);
    const SeenMessageBox report = app.TakeMessageBox();
    EXPECT_EQ(report.caption, "Replace");
    EXPECT_EQ(report.text, "No files processed.");
    Quit(app);
}

// --- Histories
// ------------------------------------------------------------------------------------

TEST_F(ScrivoxGui, ListsStartWithTheirMostRecentEntry) {
    StoreHistory("Folder", {"C:\\Recent", "C:\\Older"});
    StoreHistory("Replace", {"new"});
    Scrivox app;
    Start(app);
    EXPECT_EQ(app.Text(IDC_FOLDER_LIST), "C:\\Recent");
    EXPECT_EQ(app.ListCount(IDC_FOLDER_LIST), 2);
    EXPECT_EQ(app.Text(IDC_REPLACE_LIST), "new");
    EXPECT_EQ(app.Text(IDC_FILTER_LIST), "");
    Quit(app);
}

TEST_F(ScrivoxGui, TwentySixItemsAreSavedAsTwentyFive) {
    std::vector<std::string> stored;
    for (int i = 0; i < 25; ++i)
        stored.push_back("C:\\Folder" + std::to_string(i));
    StoreHistory("Folder", stored);
    Scrivox app;
    Start(app);
    EXPECT_EQ(app.ListCount(IDC_FOLDER_LIST), 25);
    app.SetText(IDC_FOLDER_LIST, "C:\\Newest");
    Quit(app);
    int32_t count = 0;
    const std::vector<std::string> saved = StoredHistory("Folder", &count);
    EXPECT_EQ(count, 25);
    std::vector<std::string> expected = {"C:\\Newest"};
    expected.insert(expected.end(), stored.begin(), stored.begin() + 24);
    EXPECT_EQ(saved, expected);
}

TEST_F(ScrivoxGui, RetypedEntryMovesToTopWithItsNewLetterCase) {
    StoreHistory("Filter", {"*.c", "*.TXT", "*.h"});
    Scrivox app;
    Start(app);
    app.SetText(IDC_FILTER_LIST, "*.txt");
    Quit(app);
    EXPECT_EQ(StoredHistory("Filter"), (std::vector<std::string>{"*.txt", "*.c", "*.h"}));
}

TEST_F(ScrivoxGui, LeavingAListMovesItsTextToTheTop) {
    StoreHistory("Find", {"alpha", "beta"});
    Scrivox app;
    Start(app);
    app.SetText(IDC_FIND_LIST, "beta");
    // The focus goes into the list and out again: "beta" moves to the top there.
    ::SendMessageA(app.Dialog(), WM_NEXTDLGCTL, WPARAM(app.Item(IDC_FIND_LIST)), TRUE);
    ::SendMessageA(app.Dialog(), WM_NEXTDLGCTL, WPARAM(app.Item(IDC_SUBFOLDERS)), TRUE);
    // Typed but never left: it goes on top only when the list saves.
    app.SetText(IDC_FIND_LIST, "gamma");
    Quit(app);
    EXPECT_EQ(StoredHistory("Find"), (std::vector<std::string>{"gamma", "beta", "alpha"}));
}

// --- The command line
// -----------------------------------------------------------------------------

TEST_F(ScrivoxGui, CommandLineTextsFillTheListsAsGiven) {
    StoreHistory("Folder", {"C:\\Temp\\Old"});
    Scrivox app(L"\"C:\\Temp\" *.c");
    Start(app);
    EXPECT_EQ(app.Text(IDC_FOLDER_LIST), "C:\\Temp");
    EXPECT_EQ(app.Text(IDC_FILTER_LIST), "*.c");
    EXPECT_EQ(app.Text(IDC_FIND_LIST), "");
    // Fewer than four texts start nothing.
    EXPECT_FALSE(OptionsStored());
    Quit(app);
}

TEST_F(ScrivoxGui, FourTextsRunUnattendedAndEnd) {
    files_.Write("a.txt", "red green red");
    files_.Write("b.log", "red");
    Scrivox app(L"\"" + Widen(files_.Path()) + L"\" *.txt red blue");
    ASSERT_TRUE(app.WaitForExit()) << "the program waited for the user";
    EXPECT_EQ(app.ExitCode(), 0u);
    EXPECT_EQ(files_.Read("a.txt"), "blue green blue");
    EXPECT_EQ(files_.Read("b.log"), "red");
    EXPECT_EQ(Stored().action, Action::Find);
    EXPECT_TRUE(OptionsStored());
    EXPECT_EQ(StoredHistory("Folder").at(0), files_.Path());
    EXPECT_EQ(StoredHistory("Filter").at(0), "*.txt");
    EXPECT_EQ(StoredHistory("Find").at(0), "red");
    EXPECT_EQ(StoredHistory("Replace").at(0), "blue");
}

// An unattended run shows no window, whatever stops it: the exit code says 2 for nothing run
// (a folder that is not there) and 1 for a file that could not be done (its backup's name held
// by a folder).
TEST_F(ScrivoxGui, UnattendedRunsTellFailuresByTheirExitCodeAlone) {
    Scrivox missing(L"\"" + Widen(files_.Join("missing")) + L"\" *.txt red blue");
    ASSERT_TRUE(missing.WaitForExit()) << "the program waited for the user";
    EXPECT_EQ(missing.ExitCode(), 2u);

    files_.Write("a.txt", "red");
    files_.Write("b.txt", "red");
    files_.Write("Backup of a.txt/in the way", "");
    StoreBackups(true);
    Scrivox failing(L"\"" + Widen(files_.Path()) + L"\" *.txt red blue");
    ASSERT_TRUE(failing.WaitForExit()) << "the program waited for the user";
    EXPECT_EQ(failing.ExitCode(), 1u);
    EXPECT_EQ(files_.Read("a.txt"), "red");
    EXPECT_EQ(files_.Read("b.txt"), "blue");
}

TEST_F(ScrivoxGui, FourTextsWithStoredTouchTouchNow) {
    files_.Write("a.txt", "red");
    StoreAction(2);
    const TTime before = UtcNow();
    Scrivox app(L"\"" + Widen(files_.Path()) + L"\" *.txt red blue");
    ASSERT_TRUE(app.WaitForExit()) << "the program waited for the user";
    const TTime after = UtcNow();
    EXPECT_EQ(files_.Read("a.txt"), "red");
    const TTime touched = LastWrite(files_.Join("a.txt"));
    EXPECT_GE(touched.ticks, before.ticks - 2 * TTime::kTicksPerSecond);
    EXPECT_LE(touched.ticks, after.ticks + TTime::kTicksPerSecond);
}

TEST_F(ScrivoxGui, NonAsciiFolderOnTheCommandLineIsFound) {
    // Greek and CJK letters exist in no single-byte code page: this passes only when the
    // program runs with UTF-8 as its code page.
    const std::wstring folder = Widen(files_.Path()) + L"\\\x03a9\x6587";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring file = folder + L"\\a.txt";
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(h, "cat", 3, &written, nullptr);
    ::CloseHandle(h);

    Scrivox app(L"\"" + folder + L"\" *.txt cat dog");
    ASSERT_TRUE(app.WaitForExit());
    h = ::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char content[8] = {};
    DWORD read = 0;
    ::ReadFile(h, content, sizeof content, &read, nullptr);
    ::CloseHandle(h);
    EXPECT_EQ(std::string(content, read), "dog");
}

TEST_F(ScrivoxGui, TextsLongerThanTheListsHoldAreKeptWhole) {
    // A folder path and a find text past 260 characters reach the run whole, not cut to the
    // 254 characters a list's edit field takes from the keyboard.
    std::wstring folder = L"\\\\?\\" + Widen(files_.Path());
    std::vector<std::wstring> levels;
    for (int level = 0; level < 5; ++level) {
        folder += L"\\" + std::wstring(60, wchar_t(L'a' + level));
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        levels.push_back(folder);
    }
    const std::string find(300, 'q');
    const std::wstring file = folder + L"\\a.txt";
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::string content = "<" + find + ">";
    DWORD written = 0;
    ::WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
    ::CloseHandle(h);

    const std::wstring plainFolder = folder.substr(4);
    ASSERT_GT(plainFolder.size(), 300u);
    Scrivox app(L"\"" + plainFolder + L"\" *.txt " + Widen(find) + L" short");
    ASSERT_TRUE(app.WaitForExit());
    h = ::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char back[512] = {};
    DWORD read = 0;
    ::ReadFile(h, back, sizeof back, &read, nullptr);
    ::CloseHandle(h);
    EXPECT_EQ(std::string(back, read), "<short>");
    // The history keeps them whole as well.
    EXPECT_EQ(StoredHistory("Find").at(0), find);
    // The temporary folder's own clean-up cannot reach paths this long.
    ::DeleteFileW(file.c_str());
    for (auto level = levels.rbegin(); level != levels.rend(); ++level)
        ::RemoveDirectoryW(level->c_str());
}

// --- Help ---------------------------------------------------------------------------------------

TEST_F(ScrivoxGui, HelpOpensAndClosesLeavingFieldsAlone) {
    Scrivox app;
    Start(app);
    app.SetText(IDC_FOLDER_LIST, "C:\\Typed");
    app.ClickNow(IDC_TOUCH_RADIO);
    for (bool byOk : {true, false}) {
        app.Click(IDC_HELP_BUTTON);
        HWND help = app.WaitForDialog("Help");
        ASSERT_NE(help, nullptr);
        // Modal: the frame takes no input meanwhile.
        EXPECT_FALSE(::IsWindowEnabled(app.Frame()));
        bool explains = false;
        for (HWND child = ::GetWindow(help, GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            explains =
                explains || WindowText(child).find("separated by semicolons") != std::string::npos;
        }
        EXPECT_TRUE(explains);
        // Centred on the frame, not at its top-left corner (the frame lies well inside the screen).
        RECT frame, box;
        ASSERT_TRUE(::GetWindowRect(app.Frame(), &frame) && ::GetWindowRect(help, &box));
        EXPECT_NEAR((box.left + box.right) / 2, (frame.left + frame.right) / 2, 2);
        EXPECT_NEAR((box.top + box.bottom) / 2, (frame.top + frame.bottom) / 2, 2);
        if (byOk)
            ::PostMessageA(::GetDlgItem(help, IDOK), BM_CLICK, 0, 0);
        else
            ::PostMessageA(help, WM_SYSCOMMAND, SC_CLOSE, 0);
        const DWORD start = ::GetTickCount();
        while (::IsWindow(help) && ::GetTickCount() - start < kStepTimeoutMs)
            ::Sleep(50);
        EXPECT_FALSE(::IsWindow(help));
        EXPECT_TRUE(::IsWindowEnabled(app.Frame()));
        EXPECT_EQ(app.Text(IDC_FOLDER_LIST), "C:\\Typed");
        EXPECT_TRUE(app.IsChecked(IDC_TOUCH_RADIO));
    }
    Quit(app);
}

}  // namespace

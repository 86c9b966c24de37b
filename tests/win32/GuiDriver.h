#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Drives a running Scrivox.exe from another process, the way a user would: it finds the
// program's windows, types into its lists, clicks its buttons (posted, so that a modal box does
// not block the driver) and reads and closes its message boxes.

// How long a step may take before the test gives up: Wine can be slow to start a process.
inline constexpr DWORD kStepTimeoutMs = 30000;

// The text of another process's window, read with WM_GETTEXT (GetWindowText does not ask other
// processes' controls).
std::string WindowText(HWND window);
std::string ClassName(HWND window);

// What a message box showed.
struct SeenMessageBox {
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;
    bool hasIcon = false;
    HWND owner = nullptr;
};

class Scrivox {
public:
    // Starts Scrivox.exe from the test program's folder with `arguments`; `showWindow` is the
    // start-up show state given through STARTUPINFO, or -1 for none.
    explicit Scrivox(const std::wstring& arguments = L"", int showWindow = -1);
    ~Scrivox();
    Scrivox(const Scrivox&) = delete;
    Scrivox& operator=(const Scrivox&) = delete;

    // Waits for the frame to be shown; false when the process ended or the time ran out.
    bool WaitForMainWindow();
    // Waits for the process to end by itself.
    bool WaitForExit(DWORD timeoutMs = kStepTimeoutMs);
    DWORD ExitCode() const;

    HWND Frame() const { return frame_; }
    HWND Dialog() const { return dialog_; }
    HWND Item(int id) const { return ::GetDlgItem(dialog_, id); }
    HANDLE Process() const { return process_.hProcess; }

    std::string Text(int id) const { return WindowText(Item(id)); }
    void SetText(int id, const std::string& text) const;
    bool IsChecked(int id) const;
    // Shown and enabled.
    bool IsActive(int id) const;
    bool IsShown(int id) const;
    int ListCount(int id) const;

    // A click that returns once handled; only for clicks that open nothing modal.
    void ClickNow(int id) const;
    // A click that may open a modal window.
    void Click(int id) const;
    void PressKey(HWND target, WORD key) const;

    // Sets a date or time picker by writing the record into the program's memory.
    void SetPicker(int id, const SYSTEMTIME& time) const;

    // The next message box of the program, closed once read with the button `answer` (IDOK,
    // IDYES, IDNO...); `meanwhile` runs while the box is still open.
    SeenMessageBox TakeMessageBox(int answer = IDOK,
                                  const std::function<void()>& meanwhile = nullptr);
    // A top-level dialog of the program with this caption, or null when none came.
    HWND WaitForDialog(const std::string& caption) const;
    // A list view's rows and the text of one cell, which the program is asked for.
    int ListRows(HWND list) const;
    std::string ListCell(HWND list, int row, int column) const;
    // Selects a row of a list view, as a click on it would.
    void SelectRow(HWND list, int row) const;
    // A double click on a row of a list view, posted.
    void DoubleClickRow(HWND list, int row) const;

    // Sends WM_DPICHANGED to `window` as the system does on a move to a monitor of `dpi`, with
    // the rectangle it suggests, which is put in the program's memory.
    void SendDpiChanged(HWND window, UINT dpi, const RECT& suggested) const;

    // Visible top-level windows of the program.
    std::vector<HWND> TopWindows() const;

private:
    PROCESS_INFORMATION process_{};
    HWND frame_ = nullptr;
    HWND dialog_ = nullptr;
};

// Top-level windows of process `pid`, all or only the visible ones.
std::vector<HWND> ProcessWindows(DWORD pid, bool visibleOnly);

// The program's path: Scrivox.exe beside the test program.
std::wstring ScrivoxPath();

#include "tests/win32/GuiDriver.h"

#include <commctrl.h>

#include <stdexcept>

#include "version.h"

namespace {

template <class Found>
bool Poll(Found found, DWORD timeoutMs = kStepTimeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (found())
            return true;
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(50);
    }
}

LRESULT SendWithin(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutA(window, msg, wParam, lParam, SMTO_ABORTIFHUNG, kStepTimeoutMs,
                               &result))
        throw std::runtime_error("The program does not answer message " + std::to_string(msg));
    return LRESULT(result);
}

}  // namespace

std::string WindowText(HWND window) {
    const LRESULT length = SendWithin(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(size_t(length) + 1, '\0');
    const LRESULT copied =
        SendWithin(window, WM_GETTEXT, WPARAM(text.size()), reinterpret_cast<LPARAM>(text.data()));
    text.resize(size_t(copied));
    return text;
}

std::string ClassName(HWND window) {
    char name[256] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

std::wstring ScrivoxPath() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + L"Scrivox.exe";
}

Scrivox::Scrivox(const std::wstring& arguments, int showWindow) {
    const std::wstring exe = ScrivoxPath();
    std::wstring line = L"\"" + exe + L"\"";
    if (!arguments.empty())
        line += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (showWindow >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = WORD(showWindow);
    }
    if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process_))
        throw std::runtime_error("Cannot start Scrivox.exe, error " +
                                 std::to_string(::GetLastError()));
}

Scrivox::~Scrivox() {
    if (process_.hProcess) {
        if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_.hProcess, 99);
            ::WaitForSingleObject(process_.hProcess, kStepTimeoutMs);
        }
        ::CloseHandle(process_.hProcess);
        ::CloseHandle(process_.hThread);
    }
}

namespace {

struct WindowSearch {
    DWORD pid;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && (!search->visibleOnly || ::IsWindowVisible(window)))
        search->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> ProcessWindows(DWORD pid, bool visibleOnly) {
    WindowSearch search{pid, visibleOnly, {}};
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> Scrivox::TopWindows() const {
    return ProcessWindows(process_.dwProcessId, true);
}

bool Scrivox::WaitForMainWindow() {
    return Poll([&] {
               if (::WaitForSingleObject(process_.hProcess, 0) != WAIT_TIMEOUT)
                   return true;
               for (HWND window : TopWindows()) {
                   if (ClassName(window) == "TDecoratedFrame" &&
                       WindowText(window) == SCRIVOX_APP_NAME) {
                       frame_ = window;
                       dialog_ = ::FindWindowExA(window, nullptr, "#32770", nullptr);
                       return dialog_ != nullptr;
                   }
               }
               return false;
           }) &&
           dialog_;
}

bool Scrivox::WaitForExit(DWORD timeoutMs) {
    return ::WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD Scrivox::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

void Scrivox::SetText(int id, const std::string& text) const {
    SendWithin(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool Scrivox::IsChecked(int id) const {
    return SendWithin(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Scrivox::IsShown(int id) const {
    return ::IsWindowVisible(Item(id));
}

bool Scrivox::IsActive(int id) const {
    return ::IsWindowVisible(Item(id)) && ::IsWindowEnabled(Item(id));
}

int Scrivox::ListCount(int id) const {
    return int(SendWithin(Item(id), CB_GETCOUNT, 0, 0));
}

void Scrivox::ClickNow(int id) const {
    SendWithin(Item(id), BM_CLICK, 0, 0);
}

void Scrivox::Click(int id) const {
    ::PostMessageA(Item(id), BM_CLICK, 0, 0);
}

void Scrivox::PressKey(HWND target, WORD key) const {
    const UINT scan = ::MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    ::PostMessageA(target, WM_KEYDOWN, key, LPARAM(1 | (scan << 16)));
    ::PostMessageA(target, WM_KEYUP, key, LPARAM(1 | (scan << 16) | (3u << 30)));
}

void Scrivox::SetPicker(int id, const SYSTEMTIME& time) const {
    // The picker's messages carry a pointer that is not carried between processes.
    void* remote = ::VirtualAllocEx(process_.hProcess, nullptr, sizeof time,
                                    MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote || !::WriteProcessMemory(process_.hProcess, remote, &time, sizeof time, nullptr))
        throw std::runtime_error("Cannot write into the program's memory");
    SendWithin(Item(id), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(remote));
    ::VirtualFreeEx(process_.hProcess, remote, 0, MEM_RELEASE);
}

SeenMessageBox Scrivox::TakeMessageBox() {
    HWND box = nullptr;
    Poll([&] {
        for (HWND window : TopWindows()) {
            if (window != frame_ && ClassName(window) == "#32770" &&
                ::FindWindowExA(window, nullptr, "Button", nullptr)) {
                box = window;
                return true;
            }
        }
        return ::WaitForSingleObject(process_.hProcess, 0) != WAIT_TIMEOUT;
    });
    if (!box)
        throw std::runtime_error("No message box came");
    SeenMessageBox seen;
    seen.caption = WindowText(box);
    seen.owner = ::GetWindow(box, GW_OWNER);
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child))
            continue;
        const std::string kind = ClassName(child);
        const LONG style = ::GetWindowLongA(child, GWL_STYLE);
        if (kind == "Button") {
            seen.buttons.push_back(WindowText(child));
        } else if (kind == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
            seen.hasIcon = seen.hasIcon || SendWithin(child, STM_GETICON, 0, 0) != 0;
        } else if (kind == "Static") {
            const std::string text = WindowText(child);
            if (text.size() > seen.text.size())
                seen.text = text;
        }
    }
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
    if (!Poll([&] { return !::IsWindow(box); }))
        throw std::runtime_error("The message box did not close");
    return seen;
}

HWND Scrivox::WaitForDialog(const std::string& caption) const {
    HWND found = nullptr;
    Poll([&] {
        for (HWND window : TopWindows()) {
            if (ClassName(window) == "#32770" && WindowText(window) == caption) {
                found = window;
                return true;
            }
        }
        return false;
    });
    return found;
}

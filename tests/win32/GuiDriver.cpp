#include "tests/win32/GuiDriver.h"

#include <commctrl.h>

#include <algorithm>
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

// Memory in the program's process: list view and picker messages carry pointers, which are not
// carried between processes.
class RemoteMemory {
public:
    RemoteMemory(HANDLE process, size_t size)
        : process_(process),
          at_(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {
        if (!at_)
            throw std::runtime_error("Cannot reserve memory in the program");
    }
    ~RemoteMemory() { ::VirtualFreeEx(process_, at_, 0, MEM_RELEASE); }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    char* At(size_t offset = 0) const { return static_cast<char*>(at_) + offset; }
    void Write(const void* data, size_t size, size_t offset = 0) const {
        if (!::WriteProcessMemory(process_, At(offset), data, size, nullptr))
            throw std::runtime_error("Cannot write into the program's memory");
    }
    void Read(void* data, size_t size, size_t offset = 0) const {
        if (!::ReadProcessMemory(process_, At(offset), data, size, nullptr))
            throw std::runtime_error("Cannot read the program's memory");
    }

private:
    HANDLE process_;
    void* at_;
};

}  // namespace

std::string WindowText(HWND window) {
    // Asked for in UTF-16, which crosses between processes whole whatever their code pages.
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kStepTimeoutMs,
                               &length))
        throw std::runtime_error("The program does not answer WM_GETTEXTLENGTH");
    std::wstring text(size_t(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, WPARAM(text.size()),
                               reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                               kStepTimeoutMs, &copied))
        throw std::runtime_error("The program does not answer WM_GETTEXT");
    text.resize(size_t(copied));
    if (text.empty())
        return std::string();
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string utf8(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), utf8.data(), n, nullptr,
                              nullptr);
    return utf8;
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
    RemoteMemory remote(process_.hProcess, sizeof time);
    remote.Write(&time, sizeof time);
    SendWithin(Item(id), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(remote.At()));
}

int Scrivox::ListRows(HWND list) const {
    return int(SendWithin(list, LVM_GETITEMCOUNT, 0, 0));
}

std::string Scrivox::ListCell(HWND list, int row, int column) const {
    constexpr size_t kText = 1024;
    RemoteMemory remote(process_.hProcess, sizeof(LVITEMA) + kText);
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = remote.At(sizeof item);
    item.cchTextMax = int(kText);
    remote.Write(&item, sizeof item);
    const LRESULT n =
        SendWithin(list, LVM_GETITEMTEXTA, WPARAM(row), reinterpret_cast<LPARAM>(remote.At()));
    std::string text(kText, '\0');
    remote.Read(text.data(), kText, sizeof item);
    text.resize(std::min(size_t(n > 0 ? n : 0), text.find('\0')));
    return text;
}

void Scrivox::SelectRow(HWND list, int row) const {
    RemoteMemory remote(process_.hProcess, sizeof(LVITEMA));
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    remote.Write(&item, sizeof item);
    SendWithin(list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(remote.At()));
}

void Scrivox::DoubleClickRow(HWND list, int row) const {
    RemoteMemory remote(process_.hProcess, sizeof(RECT));
    RECT bounds{LVIR_LABEL, 0, 0, 0};
    remote.Write(&bounds, sizeof bounds);
    if (!SendWithin(list, LVM_GETITEMRECT, WPARAM(row), reinterpret_cast<LPARAM>(remote.At())))
        throw std::runtime_error("No row " + std::to_string(row));
    remote.Read(&bounds, sizeof bounds);
    const LPARAM at =
        MAKELPARAM((bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2);
    ::PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
}

void Scrivox::SendDpiChanged(HWND window, UINT dpi, const RECT& suggested) const {
    RemoteMemory remote(process_.hProcess, sizeof suggested);
    remote.Write(&suggested, sizeof suggested);
    SendWithin(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote.At()));
}

SeenMessageBox Scrivox::TakeMessageBox(int answer, const std::function<void()>& meanwhile) {
    HWND box = nullptr;
    Poll([&] {
        for (HWND window : TopWindows()) {
            // Not the preview window, which may still be closing.
            if (window != frame_ && ClassName(window) == "#32770" &&
                ::FindWindowExA(window, nullptr, "Button", nullptr) &&
                !::FindWindowExA(window, nullptr, WC_LISTVIEWA, nullptr)) {
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
    if (meanwhile)
        meanwhile();
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, answer)));
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

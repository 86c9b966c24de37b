#include "framework/win32/ui/TWindow.h"

#include <stdexcept>
#include <utility>

namespace {

// One user-interface thread: a plain static is enough.
std::exception_ptr parkedException;

}  // namespace

TWindow::~TWindow() {
    if (hwnd_ && ::IsWindow(hwnd_)) {
        // The object goes first: the procedure must not reach it while the window goes.
        if (::GetWindowLongPtrA(hwnd_, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this))
            ::SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

std::string TWindow::GetText() const {
    const int length = ::GetWindowTextLengthA(hwnd_);
    std::string text(size_t(length) + 1, '\0');
    const int copied = ::GetWindowTextA(hwnd_, text.data(), length + 1);
    text.resize(size_t(copied > 0 ? copied : 0));
    return text;
}

void TWindow::SetText(const std::string& text) {
    ::SetWindowTextA(hwnd_, text.c_str());
}

void TWindow::ParkException(std::exception_ptr e) {
    // The first failure is the one worth telling; later ones usually follow from it.
    if (!parkedException)
        parkedException = std::move(e);
}

std::exception_ptr TWindow::TakeParkedException() {
    return std::exchange(parkedException, nullptr);
}

void TWindow::RethrowParkedException() {
    if (std::exception_ptr e = TakeParkedException())
        std::rethrow_exception(e);
}

void TWindow::RegisterClassOnce(const char* className, HINSTANCE module, UINT classStyle) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExA(module, className, &existing))
        return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = classStyle;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = module;
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className;
    if (!::RegisterClassExA(&wc))
        ThrowLastError(std::string("Cannot register the window class ") + className);
}

void TWindow::CreateWindowObject(DWORD exStyle,
                                 const char* className,
                                 const std::string& title,
                                 DWORD style,
                                 int x,
                                 int y,
                                 int width,
                                 int height,
                                 HWND parent,
                                 HINSTANCE module) {
    HWND hwnd = ::CreateWindowExA(exStyle, className, title.c_str(), style, x, y, width, height,
                                  parent, nullptr, module, this);
    RethrowParkedException();
    if (!hwnd)
        ThrowLastError(std::string("Cannot create the window ") + title);
}

LRESULT TWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(hwnd_, msg, wParam, lParam);
}

LRESULT CALLBACK TWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TWindow* self;
    if (msg == WM_NCCREATE) {
        self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<TWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!self)
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    try {
        LRESULT result = self->HandleMessage(msg, wParam, lParam);
        if (msg == WM_NCDESTROY) {
            ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            self->hwnd_ = nullptr;
        }
        return result;
    } catch (...) {
        ParkException(std::current_exception());
        // A failed WM_NCCREATE makes CreateWindowEx fail; everything else counts as handled.
        return msg == WM_NCCREATE ? FALSE : 0;
    }
}

void ThrowLastError(const std::string& what) {
    const DWORD code = ::GetLastError();
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = what + " (error " + std::to_string(code) + ")";
    if (length && text) {
        std::string reason(text, length);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                                   reason.back() == ' ' || reason.back() == '.'))
            reason.pop_back();
        message = what + ": " + reason + ".";
    }
    if (text)
        ::LocalFree(text);
    throw std::runtime_error(message);
}

#include "framework/win32/ui/TApplication.h"

#include <commctrl.h>
#include <objbase.h>

#include <exception>
#include <stdexcept>
#include <utility>

TApplication* TApplication::current_ = nullptr;

TApplication::TApplication(std::string name,
                           HINSTANCE instance,
                           int cmdShow,
                           std::string commandLine)
    : name_(std::move(name)),
      instance_(instance),
      cmdShow_(cmdShow),
      commandLine_(std::move(commandLine)) {
    current_ = this;
}

TApplication::~TApplication() {
    mainWindow_.reset();
    if (current_ == this)
        current_ = nullptr;
}

int TApplication::MessageBox(HWND owner,
                             const std::string& text,
                             const char* caption,
                             UINT type) const {
    return ::MessageBoxA(owner, text.c_str(), caption ? caption : name_.c_str(), type);
}

void TApplication::SetMainWindow(std::unique_ptr<TDecoratedFrame> frame) {
    mainWindow_ = std::move(frame);
}

void TApplication::InitInstance() {
    BuildMainWindow();
    if (!mainWindow_)
        throw std::runtime_error("The application has no main window.");
    mainWindow_->SetQuitOnDestroy(true);
    mainWindow_->Create(instance_);
    ::ShowWindow(mainWindow_->GetHandle(), cmdShow_);
    ::UpdateWindow(mainWindow_->GetHandle());
}

int TApplication::MessageLoop() {
    MSG msg;
    for (;;) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0)
            return int(msg.wParam);
        if (got == -1)
            return 1;
        if (!mainWindow_ || !mainWindow_->PreProcessMsg(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        // A handler that failed has been stopped at its procedure; tell the user and go on.
        if (std::exception_ptr e = TWindow::TakeParkedException())
            ShowFailure(e);
    }
}

void TApplication::ShowFailure(const std::exception_ptr& e) const {
    std::string text = "Unexpected failure.";
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        text = x.what();
    } catch (...) {
    }
    HWND owner = mainWindow_ && mainWindow_->GetHandle() ? mainWindow_->GetHandle() : nullptr;
    ::MessageBoxA(owner, text.c_str(), name_.c_str(), MB_OK | MB_ICONERROR);
}

int TApplication::Run() {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_DATE_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    // The shell's folder browser wants a single-threaded apartment.
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int result = 1;
    try {
        InitInstance();
        result = MessageLoop();
        // On the way out the windows go before the objects, so that they can still save.
        if (mainWindow_ && mainWindow_->GetHandle())
            ::DestroyWindow(mainWindow_->GetHandle());
        TWindow::RethrowParkedException();
    } catch (...) {
        ShowFailure(std::current_exception());
        if (mainWindow_ && mainWindow_->GetHandle())
            ::DestroyWindow(mainWindow_->GetHandle());
        TWindow::TakeParkedException();
        result = 1;
    }
    mainWindow_.reset();
    if (SUCCEEDED(com))
        ::CoUninitialize();
    return result;
}

std::string_view ArgumentPart(std::string_view commandLine) {
    size_t i = 0;
    bool quoted = false;
    // The program path ends at the first blank outside quotes, as the C run-time reads it.
    for (; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == ' ' || c == '\t'))
            break;
    }
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t'))
        ++i;
    return commandLine.substr(i);
}

#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "framework/win32/ui/TDecoratedFrame.h"

// The program's application object: its name, its module, its command line and start-up show
// state, the main window and the message loop.
class TApplication {
public:
    // `commandLine` is the argument part of the process command line (see ArgumentPart).
    TApplication(std::string name, HINSTANCE instance, int cmdShow, std::string commandLine);
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;
    virtual ~TApplication();

    // Start-up, then the message loop until the main window is gone or a quit request comes;
    // returns the quit code. A framework failure is shown in a message box and gives 1.
    int Run();

    const std::string& GetName() const { return name_; }
    HINSTANCE GetInstance() const { return instance_; }
    const std::string& GetCmdLine() const { return commandLine_; }
    int GetCmdShow() const { return cmdShow_; }
    TDecoratedFrame* GetMainWindow() const { return mainWindow_.get(); }

    // The program's message box: owned by `owner`; the caption is the application's name
    // unless one is given.
    int MessageBox(HWND owner,
                   const std::string& text,
                   const char* caption = nullptr,
                   UINT type = MB_OK) const;

    // The one application object of the process.
    static TApplication* Current() { return current_; }

protected:
    // Calls BuildMainWindow, creates the main window and shows it with GetCmdShow().
    virtual void InitInstance();
    // Installs the main window with SetMainWindow.
    virtual void BuildMainWindow() = 0;

    void SetMainWindow(std::unique_ptr<TDecoratedFrame> frame);
    void SetCmdShow(int cmdShow) { cmdShow_ = cmdShow; }

private:
    int MessageLoop();
    void ShowFailure(const std::exception_ptr& e) const;

    std::string name_;
    HINSTANCE instance_;
    int cmdShow_;
    std::string commandLine_;
    std::unique_ptr<TDecoratedFrame> mainWindow_;
    static TApplication* current_;
};

// The argument part of a Windows command line: what follows the program path (quoted or not)
// and the blanks after it.
//   "C:\Program Files\Scrivox.exe" C:\src *.c  ->  C:\src *.c
//   Scrivox.exe   "a b"                        ->  "a b"
//   "C:\x y\Scrivox.exe"                       ->  (empty)
std::string_view ArgumentPart(std::string_view commandLine);

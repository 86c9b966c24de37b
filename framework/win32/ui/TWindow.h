#pragma once

#include <windows.h>

#include <exception>
#include <string>

// The base of every window object: it holds the window handle and, for windows that the
// framework creates with its own class, the one window procedure, which finds its object
// through the handle and forwards to HandleMessage.
class TWindow {
public:
    TWindow() = default;
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;
    virtual ~TWindow();

    HWND GetHandle() const { return hwnd_; }
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(hwnd_, msg, wParam, lParam);
    }

    // The whole text: sized with GetWindowTextLength, so nothing is ever cut.
    std::string GetText() const;
    void SetText(const std::string& text);
    void Show(int showCommand) { ::ShowWindow(hwnd_, showCommand); }
    void Enable(bool enable) { ::EnableWindow(hwnd_, enable); }

    // Lets a parent object learn what happens to a child window it holds (the frame follows its
    // client's size and closes when the client goes).
    virtual void ChildResized(TWindow& /*child*/) {}
    virtual void ChildDestroyed(TWindow& /*child*/) {}
    // Asked before the window's frame closes: false keeps it open (work still going, which the
    // window ends first and then closes the frame itself).
    virtual bool CanClose() { return true; }

    // Procedures must not let an exception unwind through user32: they park it here, and the
    // framework's own code (creation, the message loop) takes it up again.
    static void ParkException(std::exception_ptr e);
    static std::exception_ptr TakeParkedException();
    static void RethrowParkedException();

protected:
    // Registers `className` once for this module with the one window procedure.
    static void RegisterClassOnce(const char* className, HINSTANCE module, UINT classStyle);
    // Creates the window; `this` reaches the procedure through CREATESTRUCT.
    void CreateWindowObject(DWORD exStyle,
                            const char* className,
                            const std::string& title,
                            DWORD style,
                            int x,
                            int y,
                            int width,
                            int height,
                            HWND parent,
                            HINSTANCE module);

    // Handles one message of a window made by CreateWindowObject; the default is
    // DefWindowProc.
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

// Throws std::runtime_error with `what` and the text of GetLastError().
[[noreturn]] void ThrowLastError(const std::string& what);

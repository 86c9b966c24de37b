#include "framework/win32/ui/TTooltip.h"

#include <commctrl.h>

void TTooltip::Create(HWND owner, DWORD style) {
    owner_ = owner;
    hwnd_ =
        ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | style,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner,
                          nullptr, HINSTANCE(::GetWindowLongPtrA(owner, GWLP_HINSTANCE)), nullptr);
    if (!hwnd_)
        ThrowLastError("Cannot create the tooltip window");
}

void TTooltip::AddTool(HWND control, const char* text) {
    AddOneTool(control, text);
    // The mouse over a drop-down list's edit field is over that child window, not over the
    // list's own: the tip must know it too, or it shows only over the arrow.
    for (HWND child = ::GetWindow(control, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT))
        AddOneTool(child, text);
}

void TTooltip::AddOneTool(HWND window, const char* text) {
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = owner_;
    tool.uId = reinterpret_cast<UINT_PTR>(window);
    tool.lpszText = const_cast<char*>(text);
    Send(TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void TTooltip::RelayEvent(const MSG& msg) const {
    if (hwnd_ && ::IsWindow(hwnd_))
        Send(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
}

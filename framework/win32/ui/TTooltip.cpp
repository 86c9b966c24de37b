#include "framework/win32/ui/TTooltip.h"

#include <commctrl.h>

#include <algorithm>

TTooltip::~TTooltip() {
    // The owner destroys its owned windows; only a tooltip whose owner is still there goes here.
    if (hwnd_ && !::IsWindow(hwnd_))
        hwnd_ = nullptr;
}

void TTooltip::Create(HWND owner, DWORD style) {
    owner_ = owner;
    hwnd_ = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                              WS_POPUP | TTS_ALWAYSTIP | style, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                              HINSTANCE(::GetWindowLongPtrA(owner, GWLP_HINSTANCE)), nullptr);
    if (!hwnd_)
        ThrowLastError("Cannot create the tooltip window");
}

void TTooltip::AddTool(HWND control, const char* text) {
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = owner_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<char*>(text);
    Send(TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    tools_.push_back(control);
}

void TTooltip::RelayEvent(const MSG& msg) const {
    if (!hwnd_ || !::IsWindow(hwnd_))
        return;
    MSG relayed = msg;
    // The mouse over a drop-down list's edit field is over the list: the tool is the list's
    // window, and the edit field is a child of it that has no tool of its own.
    HWND parent = ::GetParent(msg.hwnd);
    if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST && parent &&
        std::find(tools_.begin(), tools_.end(), msg.hwnd) == tools_.end() &&
        std::find(tools_.begin(), tools_.end(), parent) != tools_.end()) {
        POINT point{short(LOWORD(msg.lParam)), short(HIWORD(msg.lParam))};
        ::MapWindowPoints(msg.hwnd, parent, &point, 1);
        relayed.hwnd = parent;
        relayed.lParam = MAKELPARAM(point.x, point.y);
    }
    Send(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

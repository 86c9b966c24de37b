#include "framework/win32/ui/CenterOnOwner.h"

#include <algorithm>

void CenterOnOwner(HWND window) {
    RECT own;
    if (!::GetWindowRect(window, &own))
        return;
    const HWND owner = ::GetAncestor(window, GA_ROOTOWNER);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    const HWND anchor = owner && owner != window ? owner : window;
    if (!::GetMonitorInfoW(::MonitorFromWindow(anchor, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    RECT over = monitor.rcWork;
    if (anchor != window && !::IsIconic(anchor))
        (void)::GetWindowRect(anchor, &over);
    const LONG width = own.right - own.left, height = own.bottom - own.top;
    const RECT& work = monitor.rcWork;
    // Centred, then moved back inside the work area; a window larger than it keeps its top-left
    // corner visible.
    LONG x = over.left + (over.right - over.left - width) / 2;
    LONG y = over.top + (over.bottom - over.top - height) / 2;
    x = std::max(work.left, std::min(x, work.right - width));
    y = std::max(work.top, std::min(y, work.bottom - height));
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

#include "framework/win32/ui/DpiScaling.h"

#include <vector>

UINT WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    // Looked up, not linked: the program still starts on Windows 7.
    static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (getDpi && window) {
        if (const UINT dpi = getDpi(window))
            return dpi;
    }
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    return UINT(dpi > 0 ? dpi : 96);
}

UniqueFont ScaledFont(HFONT font, UINT newDpi, UINT oldDpi) {
    LOGFONTW shape{};
    if (!font || !::GetObjectW(font, sizeof shape, &shape))
        return nullptr;
    shape.lfHeight = ::MulDiv(shape.lfHeight, int(newDpi), int(oldDpi));
    shape.lfWidth = ::MulDiv(shape.lfWidth, int(newDpi), int(oldDpi));
    return UniqueFont(::CreateFontIndirectW(&shape));
}

void ScaleChildren(HWND parent, HFONT font, UINT newDpi, UINT oldDpi) {
    auto scale = [&](LONG v) { return LONG(::MulDiv(int(v), int(newDpi), int(oldDpi))); };
    struct Place {
        HWND window;
        RECT rect;  // in the parent's client area; a combo box's as dropped
    };
    // Every place is read before anything moves or changes its font.
    std::vector<Place> places;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        Place p{child, {}};
        ::GetWindowRect(child, &p.rect);
        char kind[16] = {};
        ::GetClassNameA(child, kind, sizeof kind);
        if (lstrcmpiA(kind, "ComboBox") == 0) {
            RECT dropped;
            if (::SendMessageA(child, CB_GETDROPPEDCONTROLRECT, 0,
                               reinterpret_cast<LPARAM>(&dropped)))
                p.rect.bottom = p.rect.top + (dropped.bottom - dropped.top);
        }
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&p.rect), 2);
        places.push_back(p);
    }
    RECT client;
    ::GetClientRect(parent, &client);
    RECT window;
    ::GetWindowRect(parent, &window);
    const LONG frameX = (window.right - window.left) - client.right;
    const LONG frameY = (window.bottom - window.top) - client.bottom;

    if (font)
        ::SendMessageA(parent, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (const Place& p : places) {
        if (font)
            ::SendMessageA(p.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        const LONG left = scale(p.rect.left), top = scale(p.rect.top);
        ::SetWindowPos(p.window, nullptr, left, top, scale(p.rect.right) - left,
                       scale(p.rect.bottom) - top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::SetWindowPos(parent, nullptr, 0, 0, scale(client.right) + frameX,
                   scale(client.bottom) + frameY, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(parent, nullptr, TRUE);
}

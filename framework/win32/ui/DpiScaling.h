#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

struct FontDeleter {
    void operator()(HFONT font) const { ::DeleteObject(font); }
};
// A font the program made, deleted with its holder; the windows using it must be gone first.
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// The DPI `window` is drawn at: its monitor's where the system tells it (Windows 10 1607 and
// later), the system's otherwise.
UINT WindowDpi(HWND window);

// `font` made anew for `newDpi`, its height scaled from `oldDpi`; null when it cannot be made.
UniqueFont ScaledFont(HFONT font, UINT newDpi, UINT oldDpi);

// Gives `parent`'s child windows `font` and scales their places and sizes, and `parent`'s client
// area, by newDpi / oldDpi. A combo box's dropped height scales with it; its closed height
// follows the font.
void ScaleChildren(HWND parent, HFONT font, UINT newDpi, UINT oldDpi);

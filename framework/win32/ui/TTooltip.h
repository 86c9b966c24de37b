#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "framework/win32/ui/TWindow.h"

// A tooltip window owned by a dialog. Its tools are the dialog's controls, named by their
// window handles and not subclassed, so the dialog relays its messages with RelayEvent.
class TTooltip : public TWindow {
public:
    TTooltip() = default;

    // Makes the tooltip window, owned by `owner`, with TTS_ALWAYSTIP and any extra style.
    void Create(HWND owner, DWORD style = 0);
    // A tool for `control` (a child of the owner) with a constant text; the control's own child
    // windows, such as a drop-down list's edit field, show the same text.
    void AddTool(HWND control, const char* text);
    void Activate(bool active) { Send(TTM_ACTIVATE, active); }
    // Passes one message of the loop to the tooltip; skipped while it has no window.
    void RelayEvent(const MSG& msg) const;

private:
    void AddOneTool(HWND window, const char* text);

    HWND owner_ = nullptr;
};

#include "framework/win32/ui/TDecoratedFrame.h"

#include <utility>

namespace {

const char kFrameClass[] = "TDecoratedFrame";

}  // namespace

TDecoratedFrame::TDecoratedFrame(TWindow* parent,
                                 std::string caption,
                                 std::unique_ptr<TDialog> client,
                                 bool /*trackMenuSelection*/)
    : caption_(std::move(caption)), client_(std::move(client)), parent_(parent) {
    // A frame without a menu has no selection to track: the flag is accepted and does nothing.
    client_->SetParentObject(this);
}

TDecoratedFrame::~TDecoratedFrame() {
    // The client window goes with the frame window; destroy both while the objects still exist.
    if (hwnd_ && ::IsWindow(hwnd_))
        ::DestroyWindow(hwnd_);
    client_.reset();
    if (largeIcon_)
        ::DestroyIcon(largeIcon_);
    if (smallIcon_)
        ::DestroyIcon(smallIcon_);
}

void TDecoratedFrame::SetIcon(HINSTANCE module, int iconId) {
    largeIcon_ = static_cast<HICON>(::LoadImageA(module, MAKEINTRESOURCEA(iconId), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXICON),
                                                 ::GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(::LoadImageA(module, MAKEINTRESOURCEA(iconId), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON),
                                                 ::GetSystemMetrics(SM_CYSMICON), 0));
    if (!largeIcon_ || !smallIcon_)
        ThrowLastError("Cannot load icon " + std::to_string(iconId));
}

void TDecoratedFrame::Create(HINSTANCE module) {
    RegisterClassOnce(kFrameClass, module, 0);
    CreateWindowObject(0, kFrameClass, caption_, style_, CW_USEDEFAULT, CW_USEDEFAULT,
                       CW_USEDEFAULT, CW_USEDEFAULT, parent_ ? parent_->GetHandle() : nullptr,
                       module);
    if (largeIcon_)
        Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_));
    if (smallIcon_)
        Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    client_->Create(hwnd_);
    ::SetWindowPos(client_->GetHandle(), nullptr, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    FitToClient();
    client_->Show(SW_SHOW);
}

bool TDecoratedFrame::PreProcessMsg(MSG& msg) {
    return client_ && client_->PreProcessMsg(msg);
}

void TDecoratedFrame::FitToClient() {
    HWND client = client_->GetHandle();
    if (!shrinkToClient_ || !hwnd_ || !client)
        return;
    RECT rect;
    ::GetWindowRect(client, &rect);
    RECT frame{0, 0, rect.right - rect.left, rect.bottom - rect.top};
    ::AdjustWindowRectEx(&frame, DWORD(::GetWindowLongPtrA(hwnd_, GWL_STYLE)), FALSE,
                         DWORD(::GetWindowLongPtrA(hwnd_, GWL_EXSTYLE)));
    ::SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // AdjustWindowRectEx measures the border at the system's DPI; on a monitor of another DPI
    // the border differs, and the measured difference puts it right.
    RECT area;
    ::GetClientRect(hwnd_, &area);
    const int wantWidth = rect.right - rect.left;
    const int wantHeight = rect.bottom - rect.top;
    if (area.right != wantWidth || area.bottom != wantHeight) {
        RECT window;
        ::GetWindowRect(hwnd_, &window);
        ::SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left + wantWidth - area.right,
                       window.bottom - window.top + wantHeight - area.bottom,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TDecoratedFrame::ChildResized(TWindow& child) {
    if (&child == client_.get())
        FitToClient();
}

void TDecoratedFrame::ChildDestroyed(TWindow& child) {
    // The client closed itself (Quit, Escape): the frame follows, once the client is gone.
    if (&child == client_.get() && hwnd_)
        ::PostMessageA(hwnd_, WM_CLOSE, 0, 0);
}

void TDecoratedFrame::RestoreFocus() {
    HWND client = client_ ? client_->GetHandle() : nullptr;
    if (!client)
        return;
    HWND target = savedFocus_ && ::IsChild(client, savedFocus_) && ::IsWindowVisible(savedFocus_)
                      ? savedFocus_
                      : ::GetNextDlgTabItem(client, nullptr, FALSE);
    if (target)
        ::SetFocus(target);
}

LRESULT TDecoratedFrame::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_ACTIVATE:
            // Keeps the dialog's focus across deactivation, as a top-level dialog would.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus && ::IsChild(hwnd_, focus))
                    savedFocus_ = focus;
            }
            return TWindow::HandleMessage(msg, wParam, lParam);
        case WM_SETFOCUS:
            RestoreFocus();
            return 0;
        case WM_DPICHANGED: {
            // Moved to a monitor of another DPI: the client rescaled, then the rectangle the
            // system suggests, put right should the client need another size.
            client_->RescaleForDpi(LOWORD(wParam));
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                           suggested->right - suggested->left, suggested->bottom - suggested->top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            FitToClient();
            return 0;
        }
        case WM_CLOSE:
            if (client_ && client_->GetHandle() && !client_->CanClose())
                return 0;
            ::DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            if (quitOnDestroy_)
                ::PostQuitMessage(0);
            return 0;
        default:
            return TWindow::HandleMessage(msg, wParam, lParam);
    }
}

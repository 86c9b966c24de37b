#include "framework/win32/ui/TDialog.h"

#include <algorithm>
#include <string>
#include <utility>

#include "framework/win32/ui/TControl.h"

TDialog::TDialog(TWindow* parent, int templateId, HINSTANCE module)
    : parent_(parent), templateId_(templateId), module_(module) {}

TDialog::~TDialog() {
    // Control objects are members of the derived class and are gone by now; the window must not
    // reach them while it goes.
    controls_.clear();
    if (hwnd_ && ::IsWindow(hwnd_)) {
        ::SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
        ::DestroyWindow(hwnd_);
    }
    hwnd_ = nullptr;
}

void TDialog::RemoveControl(TControl* control) {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

void TDialog::Create(HWND parentWindow) {
    modal_ = false;
    HWND hwnd = ::CreateDialogParamA(module_, MAKEINTRESOURCEA(templateId_), parentWindow,
                                     DialogProc, reinterpret_cast<LPARAM>(this));
    if (std::exception_ptr e = TakeParkedException()) {
        if (hwnd)
            ::DestroyWindow(hwnd);
        std::rethrow_exception(e);
    }
    if (!hwnd)
        ThrowLastError("Cannot create dialog " + std::to_string(templateId_));
}

INT_PTR TDialog::Execute() {
    modal_ = true;
    HWND owner = parent_ ? parent_->GetHandle() : nullptr;
    const INT_PTR result = ::DialogBoxParamA(module_, MAKEINTRESOURCEA(templateId_), owner,
                                             DialogProc, reinterpret_cast<LPARAM>(this));
    RethrowParkedException();
    if (result == -1)
        ThrowLastError("Cannot show dialog " + std::to_string(templateId_));
    return result;
}

bool TDialog::PreProcessMsg(MSG& msg) {
    return hwnd_ && ::IsDialogMessageA(hwnd_, &msg);
}

void TDialog::SetupControls() {
    for (TControl* control : controls_)
        control->Attach(hwnd_);
    for (TControl* control : controls_)
        control->SetupWindow();
}

void TDialog::CleanupWindow() {
    for (TControl* control : controls_)
        control->CleanupWindow();
}

bool TDialog::EvCommand(int id, unsigned code) {
    if (code != BN_CLICKED)
        return false;
    switch (id) {
        case IDOK:
            CmOk();
            return true;
        case IDCANCEL:
            CmCancel();
            return true;
        default:
            return false;
    }
}

void TDialog::CloseWindow(INT_PTR result) {
    if (modal_)
        ::EndDialog(hwnd_, result);
    else
        ::DestroyWindow(hwnd_);
}

void TDialog::RescaleForDpi(UINT newDpi) {
    if (!hwnd_ || newDpi == 0 || newDpi == dpi_)
        return;
    UniqueFont font =
        ScaledFont(reinterpret_cast<HFONT>(Send(WM_GETFONT)), newDpi, dpi_);
    const UINT oldDpi = dpi_;
    dpi_ = newDpi;
    ScaleChildren(hwnd_, font.get(), newDpi, oldDpi);
    // The old font goes only once no control uses it any more.
    if (font)
        scaledFont_ = std::move(font);
}

INT_PTR TDialog::DialogMessage(UINT, WPARAM, LPARAM) {
    return FALSE;
}

TControl* TDialog::FindControl(HWND hwnd) const {
    for (TControl* control : controls_) {
        if (control->GetHandle() == hwnd)
            return control;
    }
    return nullptr;
}

INT_PTR TDialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG:
            dpi_ = firstDpi_ = WindowDpi(hwnd_);
            SetupControls();
            return TRUE;  // the dialog manager puts the focus on the first tab stop
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const unsigned code = HIWORD(wParam);
            if (TControl* control = FindControl(reinterpret_cast<HWND>(lParam)))
                control->EvNotify(code);
            // Enter and Escape come from the dialog manager with code 0 too.
            if (EvCommand(id, code))
                return TRUE;
            return DialogMessage(msg, wParam, lParam);
        }
        case WM_DPICHANGED: {
            // A pop-up's own: a client's comes through its frame. The place the system
            // suggests, after the controls have grown or shrunk.
            RescaleForDpi(LOWORD(wParam));
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                           suggested->right - suggested->left, suggested->bottom - suggested->top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            return TRUE;
        }
        case WM_SIZE:
            if (parent_)
                parent_->ChildResized(*this);
            return DialogMessage(msg, wParam, lParam);
        case WM_DESTROY: {
            CleanupWindow();
            INT_PTR result = DialogMessage(msg, wParam, lParam);
            if (parent_ && !modal_)
                parent_->ChildDestroyed(*this);
            return result;
        }
        default:
            return DialogMessage(msg, wParam, lParam);
    }
}

INT_PTR CALLBACK TDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TDialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<TDialog*>(lParam);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<TDialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self)
        return FALSE;
    try {
        const INT_PTR result = self->Dispatch(msg, wParam, lParam);
        if (msg == WM_NCDESTROY) {
            ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
            for (TControl* control : self->controls_)
                control->Detach();
            self->hwnd_ = nullptr;
        }
        return result;
    } catch (...) {
        ParkException(std::current_exception());
        // A set-up that failed leaves a dialog that must not be shown: a modal one ends here,
        // a modeless one is destroyed by Create.
        if (msg == WM_INITDIALOG && self->modal_)
            ::EndDialog(hwnd, -1);
        return TRUE;
    }
}

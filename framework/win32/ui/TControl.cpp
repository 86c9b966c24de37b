#include "framework/win32/ui/TControl.h"

#include "framework/win32/ui/TDialog.h"

TControl::TControl(TDialog* parent, int id) : parent_(parent), id_(id) {
    if (parent_)
        parent_->AddControl(this);
}

TControl::~TControl() {
    if (parent_)
        parent_->RemoveControl(this);
    // The control window belongs to the dialog, which destroys it.
    hwnd_ = nullptr;
}

void TControl::Attach(HWND dialog) {
    hwnd_ = ::GetDlgItem(dialog, id_);
    if (!hwnd_)
        ThrowLastError("The dialog has no control " + std::to_string(id_));
}

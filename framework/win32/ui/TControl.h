#pragma once

#include "framework/win32/ui/TWindow.h"

class TDialog;

// A control of a dialog template: the object is made with its dialog, before the window exists,
// and is attached to the template's control of the same id when the dialog sets up. It creates
// no window of its own.
class TControl : public TWindow {
public:
    TControl(TDialog* parent, int id);
    ~TControl() override;

    int GetId() const { return id_; }
    TDialog* GetParentDialog() const { return parent_; }

    // Attached by the dialog; throws when the template has no control with this id.
    void Attach(HWND dialog);
    void Detach() { hwnd_ = nullptr; }

    // Runs once the control is attached, before the dialog's own set-up goes on.
    virtual void SetupWindow() {}
    // Runs when the dialog's window is being destroyed, while the control window still exists.
    virtual void CleanupWindow() {}
    // A notification (WM_COMMAND code) that this control sent to its dialog.
    virtual void EvNotify(unsigned /*code*/) {}

private:
    TDialog* parent_;
    int id_;
};

class TStatic : public TControl {
public:
    using TControl::TControl;
};

class TCheckBox : public TControl {
public:
    using TControl::TControl;

    // Only the checked state counts: BST_INDETERMINATE reads as not checked.
    bool IsChecked() const { return Send(BM_GETCHECK) == BST_CHECKED; }
    void SetCheck(bool checked) { Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED); }
};

class TRadioButton : public TCheckBox {
public:
    using TCheckBox::TCheckBox;
};

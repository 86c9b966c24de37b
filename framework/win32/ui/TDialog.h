#pragma once

#include <vector>

#include "framework/win32/ui/DpiScaling.h"
#include "framework/win32/ui/TWindow.h"

class TControl;

// A dialog built from a template: modeless as a frame's client (Create) or modal (Execute).
// Its control objects register themselves at construction and are attached to their windows
// when the dialog sets up.
class TDialog : public TWindow {
public:
    // `parent` may be null; `templateId` names the dialog resource in `module`.
    TDialog(TWindow* parent, int templateId, HINSTANCE module);
    ~TDialog() override;

    // Modeless, as a child of `parentWindow` when the template has WS_CHILD. The set-up runs
    // inside; its failure comes out here as an exception.
    void Create(HWND parentWindow);
    // Modal over the parent's window; returns the value given to CloseWindow.
    INT_PTR Execute();

    // Takes one message of the loop: true when it was a dialog message and has been handled.
    virtual bool PreProcessMsg(MSG& msg);

    void AddControl(TControl* control) { controls_.push_back(control); }
    void RemoveControl(TControl* control);

    TWindow* GetParentObject() const { return parent_; }
    void SetParentObject(TWindow* parent) { parent_ = parent; }
    HINSTANCE GetModule() const { return module_; }
    int GetTemplateId() const { return templateId_; }

    // Moved to a monitor of `newDpi`: the font made anew at its size, each control's place and
    // size and the dialog's own scaled from the DPI it had.
    virtual void RescaleForDpi(UINT newDpi);
    UINT GetDpi() const { return dpi_; }

protected:
    // Runs once, after the dialog window and its controls exist and before the dialog is first
    // shown: attaches every control object, then runs each one's set-up.
    virtual void SetupControls();
    // Runs when the dialog window is being destroyed: each control's clean-up.
    virtual void CleanupWindow();

    // A WM_COMMAND for `id`; the default handles IDOK and IDCANCEL. True when handled.
    virtual bool EvCommand(int id, unsigned code);
    virtual void CmOk() { CloseWindow(IDOK); }
    virtual void CmCancel() { CloseWindow(IDCANCEL); }
    // Ends a modal run with `result`, or destroys a modeless dialog.
    void CloseWindow(INT_PTR result);

    // `pixels` measured at the DPI the dialog was made at, at the DPI it has now: what
    // MapDialogRect gives, which keeps the units it started with, needs this after a change.
    int ScaledForDpi(int pixels) const { return ::MulDiv(pixels, int(dpi_), int(firstDpi_)); }

    // Any other message; FALSE lets the dialog manager handle it.
    virtual INT_PTR DialogMessage(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    TControl* FindControl(HWND hwnd) const;

    TWindow* parent_;
    int templateId_;
    HINSTANCE module_;
    bool modal_ = false;
    std::vector<TControl*> controls_;
    UINT dpi_ = 96;
    UINT firstDpi_ = 96;
    // The font made for a new DPI; the destructor destroys the window before it goes.
    UniqueFont scaledFont_;
};

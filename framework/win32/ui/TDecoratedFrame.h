#pragma once

#include <memory>
#include <string>

#include "framework/win32/ui/TDialog.h"

// A top-level frame whose only content is a dialog made as its child (a template with
// DS_CONTROL | WS_CHILD). It has no tool bar, status bar or menu of its own.
class TDecoratedFrame : public TWindow {
public:
    TDecoratedFrame(TWindow* parent,
                    std::string caption,
                    std::unique_ptr<TDialog> client,
                    bool trackMenuSelection = false);
    ~TDecoratedFrame() override;

    // Before Create: the frame's client area takes the client's size and follows it.
    void SetShrinkToClient(bool shrink) { shrinkToClient_ = shrink; }
    // Before Create: the style bits to add and to remove from an overlapped window's.
    void ModifyStyle(DWORD add, DWORD remove) { style_ = (style_ | add) & ~remove; }
    // Icon resource `iconId` of `module` as the large and the small icon, each loaded at the
    // system's size for it.
    void SetIcon(HINSTANCE module, int iconId);
    // Before Create: the application ends its message loop when this window is gone.
    void SetQuitOnDestroy(bool quit) { quitOnDestroy_ = quit; }

    void Create(HINSTANCE module);
    bool PreProcessMsg(MSG& msg);

    TDialog* GetClient() const { return client_.get(); }
    DWORD GetStyle() const { return style_; }

    void ChildResized(TWindow& child) override;
    void ChildDestroyed(TWindow& child) override;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void FitToClient();
    void RestoreFocus();

    std::string caption_;
    std::unique_ptr<TDialog> client_;
    TWindow* parent_;
    bool shrinkToClient_ = false;
    bool quitOnDestroy_ = false;
    DWORD style_ = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    HICON largeIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    // The control that had the focus when the frame was last deactivated.
    HWND savedFocus_ = nullptr;
};

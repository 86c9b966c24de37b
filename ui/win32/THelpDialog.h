#pragma once

#include "framework/win32/ui/TDialog.h"
#include "framework/win32/ui/TGlyphButton.h"

// The modal help box: the icon, what the program does, how filters are written, and OK; centred
// on the frame.
class THelpDialog : public TDialog {
public:
    // A `templateId` of 0 means the help template.
    THelpDialog(TWindow* parent, int templateId = 0, HINSTANCE module = nullptr);

protected:
    void SetupControls() override;

private:
    TGlyphButton okButton_;
};

#pragma once

#include <windows.h>

#include <commctrl.h>

#include "framework/win32/ui/StockGlyphs.h"
#include "framework/win32/ui/TControl.h"

// A push button of a dialog template that shows a glyph left of its text.
class TGlyphButton : public TControl {
public:
    // `glyphId` is a bitmap resource of the dialog's module, one of the stock glyphs.
    TGlyphButton(TDialog* parent, int id, int glyphId);
    ~TGlyphButton() override;

    void SetupWindow() override;

private:
    int glyphId_;
    HIMAGELIST images_ = nullptr;
};

#pragma once

#include <string>

#include "framework/win32/ui/DpiScaling.h"
#include "framework/win32/ui/TControl.h"
#include "framework/win32/ui/TDialog.h"
#include "framework/win32/ui/TReportList.h"

class PreviewCollector;

// The modal preview window: the totals, each file the run would change with its folder and
// replacements, and the selected file's changes, which a double click or Enter shows. It can be
// resized, never below its template's size. Execute gives IDC_PREVIEW_RUN when the user asks for
// the run, IDCANCEL otherwise.
class TPreviewDialog : public TDialog {
public:
    TPreviewDialog(TWindow* parent,
                   const PreviewCollector& preview,
                   std::string totals,
                   bool touch,
                   HINSTANCE module = nullptr);
    ~TPreviewDialog() override;

protected:
    void SetupControls() override;
    bool EvCommand(int id, unsigned code) override;
    INT_PTR DialogMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void RescaleForDpi(UINT newDpi) override;

private:
    void ShowChanges(int row);
    // The changes in a font of one width, of the dialog font's height.
    void SetFixedFont();
    // Places the controls in the dialog's client area as it is now.
    void Layout();
    int DialogUnitsX(int units) const;
    int DialogUnitsY(int units) const;

    const PreviewCollector& preview_;
    const std::string totals_;
    const bool touch_;
    TStatic totalsText_;
    TReportList list_;
    TStatic changesLabel_;
    TControl changes_;
    TControl runButton_;
    TControl closeButton_;
    SIZE minimum_{};  // the window's size as the template makes it
    // The changes' fixed-pitch font, which outlives the edit using it: the window is gone
    // before the object is. The one it replaces after a DPI change is kept as long.
    UniqueFont fixedFont_;
    UniqueFont oldFixedFont_;
};

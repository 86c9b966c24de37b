#pragma once

#include <string>

#include "framework/win32/ui/TControl.h"

// An editable drop-down list of a dialog template.
class TComboBox : public TControl {
public:
    // `textLimit` is the size of a text buffer, terminator included: the edit field is limited
    // to textLimit - 1 characters at set-up, or not at all when it is 0.
    TComboBox(TDialog* parent, int id, unsigned textLimit);

    unsigned GetTextLimit() const { return textLimit_; }
    void SetupWindow() override;

    int GetCount() const { return int(Send(CB_GETCOUNT)); }
    // The whole text of item `index`; empty when there is no such item.
    std::string GetString(int index) const;
    int AddString(const std::string& text);
    int InsertString(const std::string& text, int index);
    int DeleteString(int index) { return int(Send(CB_DELETESTRING, WPARAM(index))); }
    // The first item equal to `text`, letter case ignored, searching the whole list; CB_ERR (-1)
    // when there is none.
    int FindStringExact(const std::string& text) const;
    // Shows item `index` in the edit field.
    void SetSelIndex(int index) { Send(CB_SETCURSEL, WPARAM(index)); }
    // Selects characters start..end of the edit field; -1 as end means to its end.
    void SetEditSel(int start, int end) { Send(CB_SETEDITSEL, 0, MAKELPARAM(start, end)); }

private:
    unsigned textLimit_;
};

#pragma once

#include <functional>
#include <string>

#include "framework/win32/ui/TControl.h"

// A list view of a dialog template in report style (its template gives LVS_OWNERDATA): columns
// with headers, one row per item, a whole row selected at a time. The rows are not copied into
// the control: it asks for each cell it draws, so a list of any length costs nothing to show.
class TReportList : public TControl {
public:
    // Gives the text of one cell.
    using CellText = std::function<std::string(int row, int column)>;

    using TControl::TControl;

    void SetupWindow() override;

    // A column `width` pixels wide, its cells aligned right when `right`.
    void AddColumn(const std::string& title, int width, bool right = false);
    int ColumnCount() const { return columns_; }
    void SetRows(int count, CellText cellText);
    int RowCount() const;
    // The selected row, or -1.
    int Selected() const;
    // Selects the row and gives it the focus mark, as a click would.
    void Select(int row);

    // The dialog passes its WM_NOTIFY from this control here; true when it was answered.
    bool Notify(NMHDR& header);

private:
    int columns_ = 0;
    CellText cellText_;
};

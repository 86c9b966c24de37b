#pragma once

#include <string>
#include <vector>

#include "framework/win32/ui/TControl.h"

// A list view of a dialog template in report style: columns with headers, one row per item,
// a whole row selected at a time.
class TReportList : public TControl {
public:
    using TControl::TControl;

    void SetupWindow() override;

    // A column `width` pixels wide, its cells aligned right when `right`.
    void AddColumn(const std::string& title, int width, bool right = false);
    // A row of cells at the end, one per column; gives its index.
    int AddRow(const std::vector<std::string>& cells);
    int RowCount() const;
    // The selected row, or -1.
    int Selected() const;
    // Selects the row and gives it the focus mark, as a click would.
    void Select(int row);

private:
    int columns_ = 0;
};

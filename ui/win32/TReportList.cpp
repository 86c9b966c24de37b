#include "ui/win32/TReportList.h"

#include <commctrl.h>

void TReportList::SetupWindow() {
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
}

void TReportList::AddColumn(const std::string& title, int width, bool right) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    // The first column is always aligned left, whatever is asked.
    column.fmt = right && columns_ > 0 ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<char*>(title.c_str());
    column.iSubItem = columns_;
    if (Send(LVM_INSERTCOLUMNA, WPARAM(columns_), reinterpret_cast<LPARAM>(&column)) != -1)
        ++columns_;
}

int TReportList::AddRow(const std::vector<std::string>& cells) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = RowCount();
    item.pszText = const_cast<char*>(cells.empty() ? "" : cells[0].c_str());
    const int row = int(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0)
        return row;
    for (size_t i = 1; i < cells.size() && int(i) < columns_; ++i) {
        LVITEMA cell{};
        cell.iSubItem = int(i);
        cell.pszText = const_cast<char*>(cells[i].c_str());
        Send(LVM_SETITEMTEXTA, WPARAM(row), reinterpret_cast<LPARAM>(&cell));
    }
    return row;
}

int TReportList::RowCount() const {
    return int(Send(LVM_GETITEMCOUNT));
}

int TReportList::Selected() const {
    return int(Send(LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
}

void TReportList::Select(int row) {
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    Send(LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&item));
    Send(LVM_ENSUREVISIBLE, WPARAM(row), FALSE);
}

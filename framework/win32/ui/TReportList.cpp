#include "framework/win32/ui/TReportList.h"

#include <commctrl.h>

#include <cstring>
#include <utility>

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

void TReportList::SetRows(int count, CellText cellText) {
    cellText_ = std::move(cellText);
    Send(LVM_SETITEMCOUNT, WPARAM(count), 0);
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

bool TReportList::Notify(NMHDR& header) {
    if (header.hwndFrom != hwnd_ || header.code != LVN_GETDISPINFOA)
        return false;
    LVITEMA& item = reinterpret_cast<NMLVDISPINFOA&>(header).item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0)
        return true;
    const std::string cell = cellText_ && item.iItem >= 0 && item.iItem < RowCount() &&
                                     item.iSubItem >= 0 && item.iSubItem < columns_
                                 ? cellText_(item.iItem, item.iSubItem)
                                 : std::string();
    // Into the control's own buffer, cut to fit: a name longer than a cell shows is cut there
    // anyway. A cut never ends inside a UTF-8 sequence.
    size_t n = cell.size();
    if (n >= size_t(item.cchTextMax)) {
        n = size_t(item.cchTextMax) - 1;
        while (n > 0 && (static_cast<unsigned char>(cell[n]) & 0xc0) == 0x80)
            --n;
    }
    std::memcpy(item.pszText, cell.data(), n);
    item.pszText[n] = '\0';
    return true;
}

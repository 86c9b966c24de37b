#include "framework/win32/ui/TComboBox.h"

TComboBox::TComboBox(TDialog* parent, int id, unsigned textLimit)
    : TControl(parent, id), textLimit_(textLimit) {}

void TComboBox::SetupWindow() {
    if (textLimit_ != 0)
        Send(CB_LIMITTEXT, textLimit_ - 1);
}

std::string TComboBox::GetString(int index) const {
    const LRESULT length = Send(CB_GETLBTEXTLEN, WPARAM(index));
    if (length == CB_ERR || length <= 0)
        return {};
    std::string text(size_t(length) + 1, '\0');
    const LRESULT copied = Send(CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : size_t(copied));
    return text;
}

int TComboBox::AddString(const std::string& text) {
    return int(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

int TComboBox::InsertString(const std::string& text, int index) {
    return int(Send(CB_INSERTSTRING, WPARAM(index), reinterpret_cast<LPARAM>(text.c_str())));
}

int TComboBox::FindStringExact(const std::string& text) const {
    // Starting after the last item makes the search begin at item 0 and cover the whole list.
    return int(Send(CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(text.c_str())));
}

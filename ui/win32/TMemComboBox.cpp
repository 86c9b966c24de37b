#include "ui/win32/TMemComboBox.h"

#include <vector>

#include "settings/History.h"
#include "settings/TRegConfigFile.h"

namespace {

// The list box's own comparison, so that saving finds the entries that CB_FINDSTRINGEXACT finds.
bool SameAsListBox(const std::string& a, const std::string& b) {
    return ::lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// The executable's base name: the store of a list whose program names none.
std::string ModuleBaseName() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    name = name.substr(name.find_last_of("\\/") + 1);
    return name.substr(0, name.rfind('.'));
}

}  // namespace

TMemComboBox::TMemComboBox(TDialog* parent,
                           int id,
                           std::string historyName,
                           unsigned textLimit,
                           unsigned historySize)
    : TComboBox(parent, id, textLimit),
      historyName_(std::move(historyName)),
      historySize_(historySize) {}

std::unique_ptr<TConfigFile> TMemComboBox::CreateConfigFile() {
    return std::make_unique<TRegConfigFile>(ModuleBaseName());
}

std::string TMemComboBox::GetSectionPrefix() const {
    return kHistorySectionPrefix;
}

void TMemComboBox::SetupWindow() {
    TComboBox::SetupWindow();
    std::unique_ptr<TConfigFile> store = CreateConfigFile();
    History history(*store, Section(), SameAsListBox);
    history.Load();
    for (const std::string& item : history.Items())
        AddString(item);
}

void TMemComboBox::AddToHistory(const std::string& text) {
    const int same = FindStringExact(text);
    if (same != CB_ERR)
        DeleteString(same);
    InsertString(text, 0);
}

void TMemComboBox::EvNotify(unsigned code) {
    // The list as a whole lost the focus (moving between its edit field and its drop-down does
    // not count).
    if (code == CBN_KILLFOCUS) {
        const std::string text = GetText();
        if (!text.empty())
            AddToHistory(text);
    }
}

void TMemComboBox::CleanupWindow() {
    std::unique_ptr<TConfigFile> store = CreateConfigFile();
    History history(*store, Section(), SameAsListBox);
    const int count = GetCount();
    for (int i = 0; i < count; ++i)
        history.Items().push_back(GetString(i));
    const std::string text = GetText();
    if (!text.empty())
        history.AddToTop(text);
    history.Save(historySize_);
    TComboBox::CleanupWindow();
}

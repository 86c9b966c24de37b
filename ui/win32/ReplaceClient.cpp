#include "ui/win32/ReplaceClient.h"

#include <optional>

#include "framework/LocalTime.h"
#include "framework/TFolder.h"
#include "framework/win32/ui/TApplication.h"
#include "resources/resource.h"
#include "settings/TRegConfigFile.h"
#include "ui/DoCommand.h"
#include "ui/ReplaceData.h"
#include "ui/win32/BrowseForFolder.h"
#include "ui/win32/THelpDialog.h"

namespace {

// The edit fields hold 254 characters; texts from the command line or the folder browser may
// be longer and are kept whole all the same.
constexpr unsigned kListTextLimit = 255;
constexpr unsigned kListHistorySize = 25;

enum List { kFolder, kFilter, kFind, kReplace };

}  // namespace

ReplaceClient::ReplaceClient(TWindow* parent, int templateId, HINSTANCE module)
    : TDialog(parent,
              templateId ? templateId : IDD_MAIN,
              module ? module : ::GetModuleHandleA(nullptr)),
      doButton_(this, IDOK, IDB_GLYPH_OK),
      quitButton_(this, IDCANCEL, IDB_GLYPH_CANCEL),
      browseButton_(this, IDC_BROWSE, IDB_GLYPH_BROWSE),
      helpButton_(this, IDC_HELP_BUTTON, IDB_GLYPH_HELP),
      lists_{{{this, IDC_FOLDER_LIST, "Folder", kListTextLimit, kListHistorySize},
              {this, IDC_FILTER_LIST, "Filter", kListTextLimit, kListHistorySize},
              {this, IDC_FIND_LIST, "Find", kListTextLimit, kListHistorySize},
              {this, IDC_REPLACE_LIST, "Replace", kListTextLimit, kListHistorySize}}},
      timePicker_(this, IDC_TIME_PICKER),
      datePicker_(this, IDC_DATE_PICKER),
      findRadio_(this, IDC_FIND_RADIO),
      touchRadio_(this, IDC_TOUCH_RADIO),
      subfoldersCheck_(this, IDC_SUBFOLDERS),
      caseSensitiveCheck_(this, IDC_CASE_SENSITIVE),
      wholeWordsCheck_(this, IDC_WHOLE_WORDS),
      createBackupsCheck_(this, IDC_CREATE_BACKUPS),
      keepDatesCheck_(this, IDC_KEEP_DATES),
      binaryFilesCheck_(this, IDC_BINARY_FILES),
      findLabel_(this, IDC_FIND_LABEL),
      replaceLabel_(this, IDC_REPLACE_LABEL),
      fileTimeLabel_(this, IDC_FILE_TIME_LABEL) {}

void ReplaceClient::SetupControls() {
    // Attaches the controls; each list loads its history here.
    TDialog::SetupControls();

    TRegConfigFile store(kProgramStoreName);
    const StoredOptions options = ReadStoredOptions(store);
    findRadio_.SetCheck(options.action != Action::Touch);
    touchRadio_.SetCheck(options.action == Action::Touch);
    subfoldersCheck_.SetCheck(options.subfolders);
    caseSensitiveCheck_.SetCheck(options.caseSensitive);
    wholeWordsCheck_.SetCheck(options.wholeWords);
    createBackupsCheck_.SetCheck(options.createBackups);
    keepDatesCheck_.SetCheck(options.keepDates);
    binaryFilesCheck_.SetCheck(options.binaryFiles);

    ReplaceData& data = ReplaceData::Instance();
    const std::optional<std::string>* args[] = {&data.FolderArg, &data.FilterArg, &data.FindArg,
                                                &data.ReplaceArg};
    for (size_t i = 0; i < lists_.size(); ++i) {
        if (*args[i]) {
            // Set as text, not selected from the list: a remembered C:\Temp\Old must not
            // stand in for a given C:\Temp.
            lists_[i].SetText(**args[i]);
            lists_[i].SetEditSel(0, -1);
        } else if (lists_[i].GetCount() > 0) {
            lists_[i].SetSelIndex(0);
        }
    }

    if (data.HasAllTexts())
        ::PostQuitMessage(RunAction(false));

    tooltip_.Create(hwnd_);
    const std::pair<HWND, const char*> tips[] = {
        {doButton_.GetHandle(), "Perform the action"},
        {quitButton_.GetHandle(), "Close the program"},
        {browseButton_.GetHandle(), "Browse for folder"},
        {subfoldersCheck_.GetHandle(), "Recurse subfolders of chosen folder"},
        {findRadio_.GetHandle(), "Find and replace text in files"},
        {touchRadio_.GetHandle(), "Change file date/time"},
        {lists_[kFolder].GetHandle(), "Enter start folder or select from recent list"},
        {lists_[kFilter].GetHandle(),
         "Enter filters like *.cpp;*.c;*.h or select from recent list"},
    };
    for (const auto& [control, text] : tips)
        tooltip_.AddTool(control, text);
    tooltip_.Activate(true);

    UpdateActionControls();
}

bool ReplaceClient::PreProcessMsg(MSG& msg) {
    // The tools do not subclass their controls: the tips only see what is relayed to them.
    if (hwnd_ && (msg.hwnd == hwnd_ || ::IsChild(hwnd_, msg.hwnd)))
        tooltip_.RelayEvent(msg);
    return TDialog::PreProcessMsg(msg);
}

bool ReplaceClient::EvCommand(int id, unsigned code) {
    if (code == BN_CLICKED) {
        switch (id) {
            case IDOK:
                (void)RunAction(true);
                return true;
            case IDC_BROWSE:
                BrowseFolder();
                return true;
            case IDC_HELP_BUTTON:
                ShowHelp();
                return true;
            case IDC_FIND_RADIO:
            case IDC_TOUCH_RADIO:
                UpdateActionControls();
                return true;
            default:
                break;
        }
    }
    return TDialog::EvCommand(id, code);
}

void ReplaceClient::UpdateActionControls() {
    const bool find = findRadio_.IsChecked();
    TWindow* findControls[] = {&lists_[kFind],    &lists_[kReplace],    &caseSensitiveCheck_,
                               &wholeWordsCheck_, &createBackupsCheck_, &keepDatesCheck_,
                               &binaryFilesCheck_};
    for (TWindow* control : findControls) {
        control->Enable(find);
        control->Show(find ? SW_SHOW : SW_HIDE);
    }
    findLabel_.Show(find ? SW_SHOW : SW_HIDE);
    replaceLabel_.Show(find ? SW_SHOW : SW_HIDE);
    for (TDateTimePicker* picker : {&timePicker_, &datePicker_}) {
        picker->Enable(!find);
        picker->Show(find ? SW_HIDE : SW_SHOW);
    }
    fileTimeLabel_.Show(find ? SW_HIDE : SW_SHOW);
}

JobSettings ReplaceClient::ReadInputs() const {
    JobSettings inputs;
    inputs.folder = lists_[kFolder].GetText();
    inputs.filter = lists_[kFilter].GetText();
    inputs.subfolders = subfoldersCheck_.IsChecked();
    inputs.caseSensitive = caseSensitiveCheck_.IsChecked();
    inputs.wholeWords = wholeWordsCheck_.IsChecked();
    inputs.createBackups = createBackupsCheck_.IsChecked();
    inputs.keepDates = keepDatesCheck_.IsChecked();
    inputs.binaryFiles = binaryFilesCheck_.IsChecked();
    // Neither radio checked is a Touch run.
    inputs.action = findRadio_.IsChecked() ? Action::Find : Action::Touch;
    if (inputs.action == Action::Find) {
        inputs.findText = lists_[kFind].GetText();
        inputs.replaceText = lists_[kReplace].GetText();
    }
    return inputs;
}

int ReplaceClient::RunAction(bool interactive) {
    JobSettings inputs = ReadInputs();
    const ReplaceData& data = ReplaceData::Instance();
    if (!interactive && data.SubfoldersGiven)
        inputs.subfolders = data.SubfoldersArg;
    // An unattended run shows no window: what stops it shows in the exit code alone.
    auto refuse = [&](const std::string& message) {
        if (interactive)
            ShowMessageBox(message);
        return kNothingRun;
    };
    if (std::optional<std::string> refusal = CheckDoInputs(inputs))
        return refuse(*refusal);
    if (inputs.action == Action::Touch) {
        // The date from the date picker, the time of day from the time picker.
        const SYSTEMTIME date = datePicker_.GetSystemTime();
        const SYSTEMTIME time = timePicker_.GetSystemTime();
        const TDateTime local{date.wYear, date.wMonth,  date.wDay,
                              time.wHour, time.wMinute, time.wSecond};
        if (!LocalToUtcAtCurrentOffset(local, inputs.touchTime))
            return refuse("Pick a valid file date and time.");
    }
    if (!interactive) {
        TFolder folder;
        if (!folder.Open(inputs.folder))
            return kNothingRun;
    }
    TRegConfigFile store(kProgramStoreName);
    DoHow how;
    how.store = &store;
    how.reportTo = interactive ? this : nullptr;
    const DoOutcome outcome = DoCommand(inputs, how);
    if (outcome.refusal)
        return refuse(*outcome.refusal);
    return outcome.counts.failures > 0 ? kSomeFailed : kDone;
}

void ReplaceClient::BrowseFolder() {
    std::string folder = lists_[kFolder].GetText();
    if (BrowseForFolder(hwnd_, folder)) {
        lists_[kFolder].SetText(folder);
        lists_[kFolder].SetEditSel(0, -1);
    }
}

void ReplaceClient::ShowHelp() {
    THelpDialog help(this);
    help.Execute();
}

void ReplaceClient::ShowMessage(const std::string& text, const std::string& caption) {
    ShowMessageBox(text, caption.c_str());
}

void ReplaceClient::ShowMessageBox(const std::string& text, const char* caption) {
    if (TApplication* app = TApplication::Current())
        app->MessageBox(hwnd_, text, caption, MB_OK);
}

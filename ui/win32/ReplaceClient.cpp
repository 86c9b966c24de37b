#include "ui/win32/ReplaceClient.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "engine/RunHistory.h"
#include "engine/RunReport.h"
#include "framework/LocalTime.h"
#include "framework/TFolder.h"
#include "framework/win32/ui/TApplication.h"
#include "resources/resource.h"
#include "settings/TRegConfigFile.h"
#include "ui/DoCommand.h"
#include "ui/ReplaceData.h"
#include "ui/UndoReport.h"
#include "ui/win32/BrowseForFolder.h"
#include "ui/win32/THelpDialog.h"

namespace {

// The edit fields hold 254 characters; texts from the command line or the folder browser may
// be longer and are kept whole all the same.
constexpr unsigned kListTextLimit = 255;
constexpr unsigned kListHistorySize = 25;

enum List { kFolder, kFilter, kFind, kReplace };

constexpr const char* kUndoCaption = "Undo last run";

// A folder as the user types it: the journal keeps the literal form the system resolved
// ("\\?\C:\Work\", "\\?\UNC\server\share\Work\").
std::string PlainFolder(std::string folder) {
    if (folder.rfind("\\\\?\\UNC\\", 0) == 0)
        folder = "\\\\" + folder.substr(8);
    else if (folder.rfind("\\\\?\\", 0) == 0)
        folder = folder.substr(4);
    // A drive's root keeps its separator: "C:" alone is the drive's current folder.
    if (folder.size() > 3 && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

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
      fileTimeLabel_(this, IDC_FILE_TIME_LABEL),
      statusLine_(this, IDC_STATUS) {}

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
        {::GetDlgItem(hwnd_, IDC_PREVIEW), "See what the action would change, then run it"},
        {::GetDlgItem(hwnd_, IDC_UNDO), "Take back the latest run"},
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
    if (run_.Busy()) {
        // Do! is Stop now, and Escape stops too; every other control is off.
        if (code == BN_CLICKED && (id == IDOK || id == IDCANCEL))
            run_.Stop();
        return true;
    }
    if (code == BN_CLICKED) {
        switch (id) {
            case IDOK:
                (void)RunAction(true);
                return true;
            case IDC_PREVIEW:
                PreviewAction();
                return true;
            case IDC_UNDO:
                UndoLastRun();
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

std::optional<std::string> ReplaceClient::PrepareJob(bool interactive, JobSettings& job) const {
    job = ReadInputs();
    const ReplaceData& data = ReplaceData::Instance();
    if (!interactive && data.SubfoldersGiven)
        job.subfolders = data.SubfoldersArg;
    if (std::optional<std::string> refusal = CheckDoInputs(job))
        return refusal;
    if (job.action == Action::Touch) {
        // The date from the date picker, the time of day from the time picker.
        const SYSTEMTIME date = datePicker_.GetSystemTime();
        const SYSTEMTIME time = timePicker_.GetSystemTime();
        const TDateTime local{date.wYear, date.wMonth,  date.wDay,
                              time.wHour, time.wMinute, time.wSecond};
        if (!LocalToUtcAtCurrentOffset(local, job.touchTime))
            return std::string("Pick a valid file date and time.");
    }
    return std::nullopt;
}

int ReplaceClient::RunAction(bool interactive) {
    JobSettings job;
    if (std::optional<std::string> refusal = PrepareJob(interactive, job)) {
        // An unattended run shows no window: what stops it shows in the exit code alone.
        if (interactive)
            ShowMessageBox(*refusal);
        return kNothingRun;
    }
    if (interactive) {
        StartRun(job);
        return kDone;
    }
    TFolder folder;
    if (!folder.Open(job.folder))
        return kNothingRun;
    return Perform(job);
}

int ReplaceClient::Perform(const JobSettings& job) {
    TRegConfigFile store(kProgramStoreName);
    DoHow how;
    how.store = &store;
    how.keepJournal = true;
    const DoOutcome outcome = DoCommand(job, how);
    if (outcome.refusal)
        return kNothingRun;
    return outcome.counts.failures > 0 ? kSomeFailed : kDone;
}

void ReplaceClient::UndoLastRun() {
    const std::vector<RunRecord> runs = ListRuns();
    // The run an undo without an id takes: the latest not undone whose journal can be read.
    const auto latest = std::find_if(runs.rbegin(), runs.rend(),
                                     [](const RunRecord& r) { return !r.undone && !r.damaged; });
    if (latest == runs.rend()) {
        ShowMessageBox("There is no run to undo.", kUndoCaption, MB_ICONINFORMATION);
        return;
    }
    TDateTime local;
    if (!UtcToLocalOnThatDate(TimeFromUnix(latest->time, 0), local))
        local = TimeToDateTime(TimeFromUnix(latest->time, 0));  // in UTC, rather than nothing
    RunRecord shown = *latest;
    shown.folder = PlainFolder(shown.folder);
    if (ShowMessageBox(UndoQuestion(shown, local), kUndoCaption,
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    // That run and no other, should another have been kept while the question was open.
    const UndoOutcome outcome = UndoRun(latest->id, false, nullptr);
    if (outcome.refusal) {
        ShowMessageBox(AsSentence(*outcome.refusal), kUndoCaption, MB_ICONWARNING);
        return;
    }
    std::string text = UndoReportText(outcome, false);
    if (outcome.failed > 0)
        text += "\n" + UndoFailedLine(outcome.failed);
    ShowMessageBox(text, kUndoCaption, outcome.failed > 0 ? MB_ICONWARNING : 0);
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

int ReplaceClient::ShowMessageBox(const std::string& text, const char* caption, UINT type) {
    TApplication* app = TApplication::Current();
    return app ? app->MessageBox(hwnd_, text, caption, type) : 0;
}

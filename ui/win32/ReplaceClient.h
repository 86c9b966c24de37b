#pragma once

#include <array>
#include <optional>
#include <string>

#include "framework/win32/ui/TControl.h"
#include "framework/win32/ui/TDateTimePicker.h"
#include "framework/win32/ui/TDialog.h"
#include "framework/win32/ui/TGlyphButton.h"
#include "framework/win32/ui/TTooltip.h"
#include "ui/win32/TMyMemComboBox.h"
#include "ui/win32/WindowRun.h"

struct JobSettings;

// The main dialog, the frame's client: the four remembering lists, the Touch pickers, the
// options and the action. It restores the options when it sets up, fills the lists from the
// command line, runs unattended when the command line gave all four texts, and shows the
// controls of the selected action. Do!, the
// preview's walk and its Run go on a worker thread: the dialog keeps answering, shows their
// progress in its status line, and Do! (or Escape) stops them.
class ReplaceClient : public TDialog {
public:
    // A `templateId` of 0 means the main dialog's template.
    ReplaceClient(TWindow* parent, int templateId = 0, HINSTANCE module = nullptr);

    bool PreProcessMsg(MSG& msg) override;
    // While a run goes the frame stays: the run is stopped, and the frame closed once it ends.
    bool CanClose() override;

protected:
    void SetupControls() override;
    bool EvCommand(int id, unsigned code) override;
    INT_PTR DialogMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void UpdateActionControls();
    // Runs the action with the dialog's inputs. Gives the unattended run's exit code: the run
    // finished with every file done (kDone), with some failed (kSomeFailed), or nothing was run.
    int RunAction(bool interactive);
    // The job the controls make, the command line's Subfolders for an unattended run included;
    // or the message of the first input check that fails.
    std::optional<std::string> PrepareJob(bool interactive, JobSettings& job) const;
    // The unattended run of `job`, on this thread, kept in the journal so that it can be undone.
    int Perform(const JobSettings& job);
    // Starts the walk that previews the action; the preview window opens when it ends.
    void PreviewAction();
    // Starts `job` on the worker thread and makes the dialog a run's: Do! is Stop, the rest off.
    void StartRun(const JobSettings& job);
    void SetBusy(bool busy);
    void ShowProgress();
    // The worker is done: the report, the preview window, or the frame's close asked for.
    void RunFinished();
    // Asks, then takes back the latest run that is not undone yet.
    void UndoLastRun();
    static constexpr int kDone = 0;
    static constexpr int kSomeFailed = 1;
    static constexpr int kNothingRun = 2;
    void BrowseFolder();
    void ShowHelp();
    // The program's message box, owned by this dialog, OK only and no icon unless `type` says
    // otherwise; gives the button chosen.
    int ShowMessageBox(const std::string& text, const char* caption = nullptr, UINT type = MB_OK);
    // What the controls hold now; the Touch time is left to the caller.
    JobSettings ReadInputs() const;

    TGlyphButton doButton_;
    TGlyphButton quitButton_;
    TGlyphButton browseButton_;
    TGlyphButton helpButton_;
    // Folder, Filter, Find, Replace: the order of the command line's four texts.
    std::array<TMyMemComboBox, 4> lists_;
    TDateTimePicker timePicker_;
    TDateTimePicker datePicker_;
    TRadioButton findRadio_;
    TRadioButton touchRadio_;
    TCheckBox subfoldersCheck_;
    TCheckBox caseSensitiveCheck_;
    TCheckBox wholeWordsCheck_;
    TCheckBox createBackupsCheck_;
    TCheckBox keepDatesCheck_;
    TCheckBox binaryFilesCheck_;
    TStatic findLabel_;
    TStatic replaceLabel_;
    TStatic fileTimeLabel_;
    TStatic statusLine_;
    TTooltip tooltip_;
    bool closeWanted_ = false;
    std::string shownProgress_;
    // Last, so that it goes first: it waits for the worker, which reports to this dialog.
    WindowRun run_;
};

#pragma once

#include <array>
#include <optional>
#include <string>

#include "engine/FileProcessorBase.h"
#include "framework/win32/ui/TControl.h"
#include "framework/win32/ui/TDateTimePicker.h"
#include "framework/win32/ui/TDialog.h"
#include "framework/win32/ui/TGlyphButton.h"
#include "framework/win32/ui/TTooltip.h"
#include "ui/win32/TMyMemComboBox.h"

struct JobSettings;

// The main dialog, the frame's client: the four remembering lists, the Touch pickers, the
// options and the action. It restores the options when it sets up, fills the lists from the
// command line, runs unattended when the command line gave all four texts, and shows the
// controls of the selected action. Reports of a run come back through ShowMessage.
class ReplaceClient : public TDialog, public ReportOwner {
public:
    // A `templateId` of 0 means the main dialog's template.
    ReplaceClient(TWindow* parent, int templateId = 0, HINSTANCE module = nullptr);

    bool PreProcessMsg(MSG& msg) override;
    void ShowMessage(const std::string& text, const std::string& caption) override;

protected:
    void SetupControls() override;
    bool EvCommand(int id, unsigned code) override;

private:
    void UpdateActionControls();
    // Runs the action with the dialog's inputs. Gives the unattended run's exit code: the run
    // finished with every file done (kDone), with some failed (kSomeFailed), or nothing was run.
    int RunAction(bool interactive);
    // The job the controls make, the command line's Subfolders for an unattended run included;
    // or the message of the first input check that fails.
    std::optional<std::string> PrepareJob(bool interactive, JobSettings& job) const;
    // The Do! command's run of `job`, kept in the journal so that it can be undone.
    int Perform(const JobSettings& job, bool interactive);
    // Previews the action in the preview window, which may run it.
    void PreviewAction();
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
    TTooltip tooltip_;
};

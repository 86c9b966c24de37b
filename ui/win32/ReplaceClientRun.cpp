#include "ui/win32/ReplaceClient.h"

// The main dialog's runs on the worker thread: their start, their progress, their end.

#include "engine/RunReport.h"
#include "framework/win32/ui/TDecoratedFrame.h"
#include "resources/resource.h"
#include "ui/win32/TPreviewDialog.h"

namespace {

// Ten progress updates a second at most: more would only cost the run time.
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressPeriodMs = 100;

}  // namespace

void ReplaceClient::PreviewAction() {
    JobSettings job;
    if (std::optional<std::string> refusal = PrepareJob(true, job)) {
        ShowMessageBox(*refusal);
        return;
    }
    job.mode = RunMode::Preview;
    StartRun(job);
}

void ReplaceClient::StartRun(const JobSettings& job) {
    if (!run_.Start(hwnd_, job)) {
        ShowMessageBox("The run could not be started.", nullptr, MB_ICONWARNING);
        return;
    }
    SetBusy(true);
}

void ReplaceClient::SetBusy(bool busy) {
    // Every control but Do! (Stop meanwhile) and the status line, which the run uses.
    for (HWND child = ::GetWindow(hwnd_, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (child != doButton_.GetHandle() && child != statusLine_.GetHandle())
            ::EnableWindow(child, !busy);
    }
    if (busy) {
        // The focus must not stay on a control that is off: Escape and Enter go on working.
        Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(doButton_.GetHandle()), TRUE);
        doButton_.SetText("Stop");
        shownProgress_.clear();
        ShowProgress();
        ::SetTimer(hwnd_, kProgressTimer, kProgressPeriodMs, nullptr);
    } else {
        ::KillTimer(hwnd_, kProgressTimer);
        doButton_.SetText("&Do!");
        UpdateActionControls();  // the controls of the other action stay off
    }
}

void ReplaceClient::ShowProgress() {
    const std::string line = ProgressLine(run_.Progress(), true);
    // Only a change is drawn: a line redrawn ten times a second would flicker.
    if (line != shownProgress_) {
        shownProgress_ = line;
        statusLine_.SetText(line);
    }
}

INT_PTR ReplaceClient::DialogMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER && wParam == kProgressTimer) {
        ShowProgress();
        return TRUE;
    }
    if (msg == WindowRun::kFinished) {
        RunFinished();
        return TRUE;
    }
    return TDialog::DialogMessage(msg, wParam, lParam);
}

bool ReplaceClient::CanClose() {
    if (!run_.Busy())
        return true;
    closeWanted_ = true;
    run_.Stop();
    return false;
}

void ReplaceClient::RunFinished() {
    if (!run_.Busy())
        return;
    const RunProgress last = run_.Progress();
    WindowRun::Result result = run_.Finish();
    SetBusy(false);
    statusLine_.SetText(ProgressLine(last, false) + ".");
    if (closeWanted_) {
        // The user closed the frame while the run went: it ends now, as it would have then.
        if (TDecoratedFrame* frame = dynamic_cast<TDecoratedFrame*>(GetParentObject()))
            ::PostMessageA(frame->GetHandle(), WM_CLOSE, 0, 0);
        return;
    }
    if (result.failed) {
        ShowMessageBox("The run could not finish: out of memory.", nullptr, MB_ICONWARNING);
        return;
    }
    if (result.outcome.refusal) {
        ShowMessageBox(*result.outcome.refusal);
        return;
    }
    if (result.job.mode == RunMode::Run) {
        ShowMessageBox(result.report, result.caption.c_str());
        return;
    }
    // A preview that was stopped knows only part of the run: no window, no Run from it.
    if (result.outcome.counts.stopped) {
        statusLine_.SetText("Preview stopped.");
        return;
    }
    const bool touch = result.job.action == Action::Touch;
    TPreviewDialog window(this, *result.preview,
                          PreviewReportText(touch, result.outcome.counts.filesChanged,
                                            result.outcome.counts.replacementsMade),
                          touch);
    if (window.Execute() != IDC_PREVIEW_RUN)
        return;
    // The very run previewed, its time of day for Touch included, whatever the controls say now.
    result.job.mode = RunMode::Run;
    StartRun(result.job);
}

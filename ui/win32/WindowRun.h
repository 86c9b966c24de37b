#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "engine/FileProcessorBase.h"
#include "ui/BackgroundRun.h"
#include "ui/DoCommand.h"
#include "ui/PreviewCollector.h"

// The Do! command's run, or a preview's walk, on a worker thread, so that the window that
// started it keeps answering. The worker touches no window: when the work is done it posts
// kFinished to the window, and the window's thread takes the report, the outcome and the
// preview with Finish. The destructor stops the work and waits for it.
class WindowRun {
public:
    static constexpr UINT kFinished = WM_APP + 1;

    // What a finished run left for its window.
    struct Result {
        JobSettings job;  // as it was started: a preview's Run runs this very job
        DoOutcome outcome;
        std::string report;   // the run's report, "Stopped." first when it was stopped
        std::string caption;  // the report's; both empty for a preview
        std::unique_ptr<PreviewCollector> preview;  // what a preview found
        bool failed = false;  // the work ended early (out of memory): no report came
    };

    WindowRun();
    ~WindowRun();
    WindowRun(const WindowRun&) = delete;
    WindowRun& operator=(const WindowRun&) = delete;

    // Starts `job` in its mode, telling `window` when it is done: a Run stores the options and
    // keeps a journal, as Do! does; a Preview stores nothing. False when nothing was started.
    bool Start(HWND window, const JobSettings& job);
    // Asks the work to stop at the next file; returns at once.
    void Stop() { background_.Stop(); }
    // From Start until Finish.
    bool Busy() const { return busy_; }
    RunProgress Progress() const { return background_.Progress(); }
    // On kFinished: waits for the worker thread to end and hands over what the work left.
    Result Finish();

private:
    class CapturedReport;

    bool busy_ = false;
    Result result_;  // written by the worker only until it has ended
    std::unique_ptr<CapturedReport> report_;
    // Last, so that it goes first: its destructor waits for the work that uses the members above.
    BackgroundRun background_;
};

// The progress line a window shows while a run goes: "1200 files looked at, 35 changed" and,
// when the walk is in one, the folder.
std::string ProgressLine(const RunProgress& progress, bool withFolder);

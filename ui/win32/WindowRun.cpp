#include "ui/win32/WindowRun.h"

#include <utility>

#include "settings/TRegConfigFile.h"

// Keeps the run's report, which the engine gives on the worker thread, for the window's thread.
class WindowRun::CapturedReport final : public ReportOwner {
public:
    explicit CapturedReport(Result& result) : result_(result) {}
    void ShowMessage(const std::string& text, const std::string& caption) override {
        result_.report = text;
        result_.caption = caption;
    }

private:
    Result& result_;
};

WindowRun::WindowRun() = default;

WindowRun::~WindowRun() {
    background_.Stop();
    background_.Wait();
}

bool WindowRun::Start(HWND window, const JobSettings& job) {
    if (busy_)
        return false;
    background_.Wait();  // the last work's thread, which has posted and returned
    result_ = Result();
    result_.job = job;
    report_ = std::make_unique<CapturedReport>(result_);
    RunObserver* next = nullptr;
    if (job.mode == RunMode::Preview) {
        result_.preview = std::make_unique<PreviewCollector>(job.folder, job.action);
        next = result_.preview.get();
    }
    auto work = [this](RunObserver& watcher) {
        const JobSettings& job = result_.job;
        DoHow how;
        how.observer = &watcher;
        if (job.mode == RunMode::Preview) {
            result_.outcome = DoCommand(job, how);
            return;
        }
        TRegConfigFile store(kProgramStoreName);
        how.store = &store;
        how.reportTo = report_.get();
        how.keepJournal = true;
        result_.outcome = DoCommand(job, how);
    };
    // PostMessage and nothing else: the window belongs to another thread.
    auto finished = [window] { ::PostMessageA(window, kFinished, 0, 0); };
    busy_ = background_.Start(work, next, finished);
    return busy_;
}

WindowRun::Result WindowRun::Finish() {
    // The worker has posted its message as its last step; the join makes what it wrote ours.
    background_.Wait();
    busy_ = false;
    Result done = std::move(result_);
    done.failed = background_.Failed();
    result_ = Result();
    report_.reset();
    return done;
}

std::string ProgressLine(const RunProgress& progress, bool withFolder) {
    std::string line = std::to_string(progress.filesLookedAt) +
                       (progress.filesLookedAt == 1 ? " file" : " files") + " looked at, " +
                       std::to_string(progress.filesChanged) + " changed";
    if (withFolder && !progress.folder.empty())
        line += ", in " + progress.folder;
    return line;
}

#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "engine/RunObserver.h"

// What a run on another thread has done so far, as a window shows it while it goes.
struct RunProgress {
    int64_t filesLookedAt = 0;
    int64_t filesChanged = 0;
    uint64_t bytesRead = 0;
    std::string folder;  // the folder whose files are being done
};

// Runs one piece of work, a run, on a thread of its own, so that the window that started it
// keeps answering. The work gets an observer to give the run: it counts for Progress, stops the
// run between files once Stop is called, and passes everything on to `next`. `finished` is
// called on the worker thread when the work has returned; a window posts itself a message
// there. The destructor stops the run and waits for it.
class BackgroundRun {
public:
    BackgroundRun() = default;
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;
    ~BackgroundRun();

    // False when a run is still going, or no thread could be started (nothing was run).
    bool Start(std::function<void(RunObserver&)> work,
               RunObserver* next,
               std::function<void()> finished);
    // Asks the run to stop at the next file; returns at once.
    void Stop() { stopWanted_ = true; }
    bool StopAsked() const { return stopWanted_; }
    // True from Start until the work has returned.
    bool Running() const { return running_; }
    // The last work ended by an exception (out of memory): its run did not finish.
    bool Failed() const { return failed_; }
    // Waits for the worker thread to end; then the next run may start.
    void Wait();
    RunProgress Progress() const;

private:
    class Watcher;
    void Main(std::function<void(RunObserver&)> work, std::function<void()> finished);

    std::thread thread_;
    RunObserver* next_ = nullptr;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopWanted_{false};
    std::atomic<bool> failed_{false};
    mutable std::mutex mutex_;  // guards progress_
    RunProgress progress_;
};

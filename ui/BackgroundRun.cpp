#include "ui/BackgroundRun.h"

#include <system_error>

// Counts what the run does for the window and forwards it; answers StopWanted for it.
class BackgroundRun::Watcher final : public RunObserver {
public:
    explicit Watcher(BackgroundRun& run) : run_(run) {}

    void FileChanged(const std::string& path, uint64_t replacements) override {
        Update([](RunProgress& p) { ++p.filesChanged; });
        if (run_.next_)
            run_.next_->FileChanged(path, replacements);
    }
    void Failed(const std::string& path, const std::string& reason) override {
        if (run_.next_)
            run_.next_->Failed(path, reason);
    }
    void BinaryLeftAlone(const std::string& path) override {
        if (run_.next_)
            run_.next_->BinaryLeftAlone(path);
    }
    size_t ContentWanted() const override {
        return run_.next_ ? run_.next_->ContentWanted() : 0;
    }
    void ChangeShown(const std::string& path,
                     const std::string* oldText,
                     const std::string* newText) override {
        if (run_.next_)
            run_.next_->ChangeShown(path, oldText, newText);
    }
    void FileLookedAt(uint64_t bytes) override {
        Update([bytes](RunProgress& p) {
            ++p.filesLookedAt;
            p.bytesRead += bytes;
        });
        if (run_.next_)
            run_.next_->FileLookedAt(bytes);
    }
    void FolderEntered(const std::string& path) override {
        Update([&path](RunProgress& p) { p.folder = path; });
        if (run_.next_)
            run_.next_->FolderEntered(path);
    }
    bool StopWanted() override {
        return run_.stopWanted_ || (run_.next_ && run_.next_->StopWanted());
    }

private:
    template <class Change>
    void Update(Change change) {
        std::lock_guard<std::mutex> lock(run_.mutex_);
        change(run_.progress_);
    }
    BackgroundRun& run_;
};

BackgroundRun::~BackgroundRun() {
    Stop();
    Wait();
}

bool BackgroundRun::Start(std::function<void(RunObserver&)> work,
                          RunObserver* next,
                          std::function<void()> finished) {
    if (running_)
        return false;
    Wait();  // the last run's thread, which has returned
    next_ = next;
    stopWanted_ = false;
    failed_ = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        progress_ = RunProgress();
    }
    running_ = true;
    try {
        thread_ = std::thread(&BackgroundRun::Main, this, std::move(work), std::move(finished));
    } catch (const std::system_error&) {
        running_ = false;
        return false;
    }
    return true;
}

void BackgroundRun::Main(std::function<void(RunObserver&)> work, std::function<void()> finished) {
    Watcher watcher(*this);
    // Nothing may leave a thread's function: the process would end with it.
    try {
        work(watcher);
    } catch (...) {
        failed_ = true;
    }
    running_ = false;
    if (finished)
        finished();
}

void BackgroundRun::Wait() {
    if (thread_.joinable())
        thread_.join();
}

RunProgress BackgroundRun::Progress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
}

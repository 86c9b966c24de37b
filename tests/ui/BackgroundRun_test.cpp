// A run on a worker thread: the starting thread sees its progress, stops it between files, and
// hears when it has ended; a second run waits for the first.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "engine/Run.h"
#include "tests/support/TempDir.h"
#include "ui/BackgroundRun.h"

namespace {

using namespace std::chrono_literals;

// Slows the run down to a file every few milliseconds, so that it is caught in the middle.
class Slow final : public RunObserver {
public:
    void FileLookedAt(uint64_t) override {
        ++seen;
        std::this_thread::sleep_for(2ms);
    }
    std::atomic<int> seen{0};
};

// Replaces "cat" by "dog" in every .txt file of the tree.
JobSettings CatToDog(const TempDir& tree) {
    JobSettings job;
    job.folder = tree.Path();
    job.filter = "*.txt";
    job.findText = "cat";
    job.replaceText = "dog";
    return job;
}

// Signalled from the worker thread, as a window's posted message would be.
class Done {
public:
    void Set() {
        std::lock_guard<std::mutex> lock(m_);
        done_ = true;
        cv_.notify_all();
    }
    bool WaitFor(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, limit, [this] { return done_; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
};

TEST(BackgroundRun, ShowsProgressStopsBetweenFilesAndTellsTheEnd) {
    TempDir tree;
    constexpr int kFiles = 400;
    for (int i = 0; i < kFiles; ++i)
        tree.Write("d" + std::to_string(i % 4) + "/f" + std::to_string(i) + ".txt", "a cat\n");
    const JobSettings job = CatToDog(tree);

    BackgroundRun run;
    Slow slow;
    Done done;
    RunCounts counts;
    ASSERT_TRUE(run.Start([&](RunObserver& o) { counts = RunJob(job, nullptr, &o); }, &slow,
                          [&] { done.Set(); }));
    EXPECT_FALSE(run.Start([](RunObserver&) {}, nullptr, nullptr)) << "two runs at once";
    while (run.Progress().filesLookedAt < 20)
        std::this_thread::sleep_for(1ms);
    const RunProgress seen = run.Progress();
    EXPECT_TRUE(run.Running());
    EXPECT_EQ(seen.folder.rfind(tree.Path(), 0), 0u) << seen.folder;
    EXPECT_EQ(seen.bytesRead, uint64_t(seen.filesLookedAt) * 6);
    run.Stop();
    ASSERT_TRUE(done.WaitFor(10s));
    run.Wait();
    EXPECT_FALSE(run.Running());
    EXPECT_FALSE(run.Failed());
    EXPECT_TRUE(counts.stopped);
    EXPECT_LT(counts.filesProcessed, kFiles);
    EXPECT_EQ(run.Progress().filesLookedAt, slow.seen.load()) << "the observer was passed over";
    int changed = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::string text =
            tree.Read("d" + std::to_string(i % 4) + "/f" + std::to_string(i) + ".txt");
        EXPECT_TRUE(text == "a cat\n" || text == "a dog\n") << text;
        changed += text == "a dog\n";
    }
    EXPECT_EQ(changed, counts.filesChanged);

    // The next run starts afresh; work that throws ends as failed, and still tells its end.
    Done second;
    ASSERT_TRUE(run.Start([](RunObserver&) { throw std::runtime_error("out of memory"); },
                          nullptr, [&] { second.Set(); }));
    ASSERT_TRUE(second.WaitFor(10s));
    run.Wait();
    EXPECT_TRUE(run.Failed());
    EXPECT_FALSE(run.StopAsked());
    EXPECT_EQ(run.Progress().filesLookedAt, 0);
}

TEST(BackgroundRun, DestroyingItStopsTheRunAndWaits) {
    TempDir tree;
    for (int i = 0; i < 200; ++i)
        tree.Write("f" + std::to_string(i) + ".txt", "cat");
    const JobSettings job = CatToDog(tree);
    Slow slow;
    RunCounts counts;
    {
        BackgroundRun run;
        ASSERT_TRUE(run.Start([&](RunObserver& o) { counts = RunJob(job, nullptr, &o); }, &slow,
                              nullptr));
        while (slow.seen < 5)
            std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(counts.stopped);
    EXPECT_LT(counts.filesProcessed, 200);
}

}  // namespace

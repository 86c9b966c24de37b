#include "engine/Toucher.h"

#include <chrono>

#include "engine/RunObserver.h"
#include "engine/RunJournal.h"
#include "engine/RunReport.h"
#include "framework/FileError.h"
#include "framework/FileTimes.h"
#include "framework/TFileName.h"

namespace {

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

bool Toucher::ProcessFile(const TFileName& file) {
    if (Preview) {
        ++FilesProcessed;
        if (Observer) {
            Observer->FileLookedAt(0);
            Observer->FileChanged(file.FullPath(), 0);
        }
        return true;
    }
    if (!Journal)
        return Touch(file);
    // The entry is written before the time is set, so that a killed run leaves none untold. A
    // file that then cannot be touched keeps its old time, which an undo recognises.
    FileStamp before;
    ClearFileError();
    if (!file.FoundIn() || file.ThroughLink()) {
        // Not one of a folder's plain names, which wait for their folder's end: alone.
        TouchWaiting();
        if (GetFileStamp(file, before) && Journal->AddTouch(realPaths_.Of(file), before, Time))
            (void)Journal->Flush();
        return Touch(file);
    }
    if (file.FoundIn() != waitingIn_ || waiting_.size() >= kGroup)
        TouchWaiting();
    if (!file.SeenStamp(before) && !GetFileStamp(file, before))
        return Touch(file);  // fails too, and says why
    (void)Journal->AddTouch(realPaths_.Of(file), before, Time);
    waitingIn_ = file.FoundIn();
    waiting_.push_back({file.FullPath(), before.identity, before});
    return true;
}

void Toucher::FolderDone() {
    TouchWaiting();
}

void Toucher::TouchWaiting() {
    if (waiting_.empty())
        return;
    (void)Journal->Flush();
    const int64_t now = NowMs();
    if (lastSync_ < 0)
        lastSync_ = now;
    if (now - lastSync_ >= kSyncEveryMs) {
        (void)Journal->Sync();
        lastSync_ = now;
    }
    for (const Waiting& w : waiting_) {
        TFileName file(w.path);
        file.SetFoundIn(waitingIn_, w.identity);
        file.SetSeenStamp(w.stamp.size, w.stamp.lastWrite);
        (void)Touch(file);
    }
    waiting_.clear();
    waitingIn_ = nullptr;
}

bool Toucher::Touch(const TFileName& file) {
    ClearFileError();
    if (!SetLastWriteTime(file, Time)) {
        if (Observer)
            Observer->Failed(file.FullPath(), DescribeFileError("cannot be touched"));
        return false;
    }
    ++FilesProcessed;
    if (Observer) {
        Observer->FileLookedAt(0);
        Observer->FileChanged(file.FullPath(), 0);
    }
    return true;
}

void Toucher::FinishRun() {
    if (Journal) {
        TouchWaiting();
        (void)Journal->Sync();
    }
}

void Toucher::ShowResult(ReportOwner& owner) {
    owner.ShowMessage(TouchReportText(FilesProcessed), kReportCaption);
}

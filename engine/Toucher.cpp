#include "engine/Toucher.h"

#include "engine/RunObserver.h"
#include "engine/RunJournal.h"
#include "engine/RunReport.h"
#include "framework/FileIdentity.h"
#include "framework/TFolder.h"
#include "framework/FileError.h"
#include "framework/FileTimes.h"
#include "framework/TFileName.h"

bool Toucher::ProcessFile(const TFileName& file) {
    ClearFileError();
    FileStamp before;
    // The entry is written before the time is set, so that a killed run leaves none untold; it
    // reaches the disk in groups, as a time set is cheap and a disk round trip is not. A file
    // that then cannot be touched keeps its old time, which an undo recognises.
    if (Journal && !Preview && GetFileStamp(file, before) &&
        Journal->AddTouch(realPaths_.Of(file), before, Time) && ++unsynced_ >= 64) {
        (void)Journal->Sync();
        unsynced_ = 0;
    }
    if (!Preview && !SetLastWriteTime(file, Time)) {
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
    if (Journal)
        (void)Journal->Sync();
}

void Toucher::ShowResult(ReportOwner& owner) {
    owner.ShowMessage(TouchReportText(FilesProcessed), kReportCaption);
}

#include "engine/Toucher.h"

#include "engine/RunObserver.h"
#include "engine/RunReport.h"
#include "framework/FileError.h"
#include "framework/FileTimes.h"
#include "framework/TFileName.h"

bool Toucher::ProcessFile(const TFileName& file) {
    ClearFileError();
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

void Toucher::ShowResult(ReportOwner& owner) {
    owner.ShowMessage(TouchReportText(FilesProcessed), kReportCaption);
}

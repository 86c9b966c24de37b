#include "engine/Toucher.h"

#include "engine/RunReport.h"
#include "framework/FileTimes.h"
#include "framework/TFileName.h"

bool Toucher::ProcessFile(const TFileName& file) {
    if (!SetLastWriteTime(file, Time))
        return false;
    ++FilesProcessed;
    return true;
}

void Toucher::ShowResult(ReportOwner& owner) {
    owner.ShowMessage(TouchReportText(FilesProcessed), kReportCaption);
}

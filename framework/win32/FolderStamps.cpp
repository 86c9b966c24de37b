// The lengths and last-write times that a folder's listing tells of its files, for a name the
// walk handed over without them (TFolder::ListedStamp).
#include "framework/TFolder.h"

#include <windows.h>

#include <chrono>

#include "framework/win32/FolderImpl.h"
#include "framework/win32/WidePath.h"

int64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool TFolder::Impl::Restamp() {
    stampOf.clear();
    stampsMapped = true;
    stampsStale = false;
    stampedAt = SteadyMilliseconds();
    const HandleListing got = ListByHandle(dir.Get(), [this](const FILE_ID_BOTH_DIR_INFO& e) {
        stampOf[Narrow(e.FileName, e.FileNameLength / sizeof(wchar_t))] = {
            static_cast<uint64_t>(e.EndOfFile.QuadPart), e.LastWriteTime.QuadPart,
            static_cast<uint64_t>(e.FileId.QuadPart)};
    });
    if (got == HandleListing::Done)
        return true;
    stampOf.clear();  // a listing cut short may lack any file: each is then asked itself
    return false;
}

bool TFolder::ListedStamp(const char* name, const FileIdentity& identity, FileStamp& stamp) const {
    Impl& s = *impl_;
    FileIdentity own;
    if (!s.byHandle || !GetIdentity(own) || identity.device != own.device)
        return false;
    if (s.stampsStale || SteadyMilliseconds() - s.stampedAt > kStampAgeMs) {
        (void)s.Restamp();
    } else if (!s.stampsMapped) {
        for (size_t i = 0; i < s.stamps.size(); ++i)
            s.stampOf[EntryName(i)] = s.stamps[i];
        s.stampsMapped = true;
    }
    // The name must still list the file the walk saw; a file that took it is asked itself.
    const auto found = s.stampOf.find(name);
    if (found == s.stampOf.end() || found->second.index != identity.index ||
        identity.index == 0)
        return false;
    // As ReadStamp gives it: the index alone, the volume left out.
    stamp.identity = FileIdentity{0, identity.index};
    stamp.size = found->second.size;
    stamp.lastWrite = found->second.lastWrite;
    return true;
}

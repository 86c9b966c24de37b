#include "engine/RunJournal.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

#include "engine/RunHistory.h"
#include "engine/Sha256.h"
#include "framework/TTime.h"
#include "framework/FileError.h"
#include "framework/FileOperations.h"
#include "framework/PathSyntax.h"
#include "framework/TFileName.h"
#include "framework/UserFolders.h"

namespace {

const char kCannot[] = "this run cannot be undone: ";

// "20261208-201533", in UTC: the runs sort by their ids as by their times.
std::string NewId(std::time_t started) {
    const TDateTime t = TimeToDateTime(TimeFromUnix(static_cast<int64_t>(started), 0));
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || IsPathSeparator(folder.back()) ? folder + name
                                                            : folder + kPathSeparator + name;
}

}  // namespace

std::string RunsFolder() {
    const std::string state = UserStateFolder();
    if (state.empty())
        return std::string();
    // The platforms' own ways of naming a program's folder.
    return kPathSeparator == '\\' ? Join(Join(state, "Scrivox"), "Runs")
                                  : Join(Join(state, "scrivox"), "runs");
}

std::string JournalField(const std::string& text) {
    std::string field;
    for (char c : text) {
        switch (c) {
            case '\\': field += "\\\\"; break;
            case '\t': field += "\\t"; break;
            case '\n': field += "\\n"; break;
            case '\r': field += "\\r"; break;
            default: field += c;
        }
    }
    return field;
}

bool ParseJournalLine(const std::string& line, std::vector<std::string>& fields) {
    fields.assign(1, std::string());
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c != '\\') {
            fields.back() += c;
        } else if (++i < line.size()) {
            const char e = line[i];
            if (e != '\\' && e != 't' && e != 'n' && e != 'r')
                return false;
            fields.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : '\\';
        } else {
            return false;
        }
    }
    return true;
}

bool HashFile(TFile& file, std::string& hex) {
    constexpr size_t kBlock = 256 * 1024;
    Sha256 hash;
    std::unique_ptr<char[]> block(new char[kBlock]);
    for (uint64_t at = 0;;) {
        const long long n = file.ReadAt(at, block.get(), kBlock);
        if (n < 0)
            return false;
        if (n == 0) {
            hex = ToHex(hash.Final());
            return true;
        }
        hash.Update(block.get(), static_cast<size_t>(n));
        at += static_cast<uint64_t>(n);
    }
}

RunJournal::RunJournal() = default;

RunJournal::~RunJournal() = default;

bool RunJournal::Begin(const JobSettings& job) {
    const std::string folder = RunsFolder();
    ClearFileError();
    if (folder.empty()) {
        shortfall_ = std::string(kCannot) + "no folder to keep its journal in";
        return false;
    }
    if (!runs_.OpenPrivate(folder)) {
        shortfall_ = std::string(kCannot) + "no private folder for its journal at '" + folder +
                     "': " + LastFileErrorText();
        return false;
    }
    job_ = job;
    started_ = std::time(nullptr);
    return true;
}

bool RunJournal::Create() {
    if (journal_.IsOpen())
        return true;
    if (!runs_.IsOpen() || failed_)
        return false;
    failed_ = true;  // until the journal stands
    // Room for this run among the kept ones: the oldest go first.
    std::vector<KeptRun> kept = KeptRuns(runs_);
    uint64_t bytes = 0;
    for (const KeptRun& r : kept)
        bytes += r.keptBytes;
    for (size_t i = 0; i < kept.size() && (kept.size() - i >= kMaxRuns || bytes > kMaxBytes);
         ++i) {
        (void)runs_.RemoveTree(kept[i].id.c_str());
        bytes -= kept[i].keptBytes;
    }
    budget_ = bytes < kMaxBytes ? kMaxBytes - bytes : 0;

    ClearFileError();
    id_ = NewId(started_);
    for (int n = 2; !runs_.MakeSubfolder(id_.c_str(), run_); ++n) {
        if (n > 100) {
            shortfall_ = std::string(kCannot) + "no folder for its journal: " + LastFileErrorText();
            id_.clear();
            return false;
        }
        id_ = NewId(started_) + "-" + std::to_string(n);
    }
    std::string realFolder;
    TFolder walked;
    if (!walked.Open(job_.folder) || !walked.RealPath(realFolder))
        realFolder = job_.folder;
    if (!run_.MakeSubfolder("old", old_) || !journal_.CreateIn(run_, "journal") ||
        !Write("scrivox-journal\t1") ||
        !Write("time\t" + std::to_string(static_cast<long long>(started_))) ||
        !Write("folder\t" + JournalField(realFolder)) ||
        !Write("filter\t" + JournalField(job_.filter)) ||
        !Write("action\t" + std::string(job_.action == Action::Touch ? "touch" : "find")) ||
        (job_.action == Action::Find && (!Write("find\t" + JournalField(job_.findText)) ||
                                         !Write("replace\t" + JournalField(job_.replaceText)))) ||
        !Flush()) {
        shortfall_ = std::string(kCannot) + "its journal cannot be written: " + LastFileErrorText();
        journal_ = TFile();
        pending_.clear();
        run_ = TFolder();  // Windows removes no folder that is still open
        old_ = TFolder();
        (void)runs_.RemoveTree(id_.c_str());
        id_.clear();
        return false;
    }
    failed_ = false;
    // The new folders go to the disk with the first sync, which comes before the first change
    // that must be undoable after a power failure.
    foldersUnsynced_ = true;
    return true;
}

bool RunJournal::KeepOld(TFile& in, bool copy, uint64_t size, KeptContent& kept) {
    if (!Create())
        return false;
    if (size > budget_ - std::min(budget_, keptBytes_)) {
        if (shortfall_.empty())
            shortfall_ = "the journal has no room for more than " +
                         std::to_string(kMaxBytes >> 20) +
                         " MiB of old content: some changes of this run cannot be undone";
        return false;
    }
    const size_t number = ++next_;
    const std::string name = std::to_string(number);
    // A second name of the very file read; its data is then the journal's once the new content
    // has taken the file's place. A file rewritten in place keeps no old content of its own.
    bool linked = !copy && LinkOpenFile(in, old_, name);
    if (!linked) {
        TFileName copyName(Join(old_.Path(), name));
        copyName.SetFoundIn(&old_, FileIdentity());
        linked = CopyToBackup(in, copyName, name);
    }
    // Hashed from the kept file itself: whatever an undo writes must be what was kept. The
    // content was read moments ago, so this reads from memory.
    TFile keptFile;
    if (!linked || !keptFile.OpenIn(old_, name.c_str()) || !keptFile.GetStamp(kept.stamp) ||
        !HashFile(keptFile, kept.hash)) {
        shortfall_ = "the old content of some files cannot be kept: those changes cannot be undone";
        return false;
    }
    kept.number = number;
    FileStamp original;
    kept.linked = !copy && in.GetStamp(original) && kept.stamp.identity == original.identity;
    keptBytes_ += size;
    oldUnsynced_ = true;
    return true;
}

namespace {

std::string Identity(const FileStamp& s) {
    return std::to_string(s.identity.device) + "\t" + std::to_string(s.identity.index) + "\t" +
           std::to_string(s.size);
}

}  // namespace

bool RunJournal::AddFind(const KeptContent& kept,
                         const std::string& path,
                         const FileStamp& stamp,
                         bool timeKnown,
                         const std::string& hash) {
    return Create() &&
           Write("file\t" + std::to_string(kept.number) + "\t" + JournalField(path) + "\t" +
                 Identity(stamp) + "\t" +
                 (timeKnown ? std::to_string(stamp.lastWrite) : std::string("-")) + "\t" + hash +
                 "\t" + Identity(kept.stamp) + "\t" + kept.hash + "\t" +
                 (kept.linked ? "link" : "copy"));
}

bool RunJournal::AddTouch(const std::string& path, const FileStamp& stamp, TTime touched) {
    return Create() && Write("touch\t" + JournalField(path) + "\t" + Identity(stamp) + "\t" +
                             std::to_string(stamp.lastWrite) + "\t" +
                             std::to_string(touched.ticks));
}

bool RunJournal::Flush() {
    if (pending_.empty())
        return journal_.IsOpen();
    const bool written = journal_.IsOpen() && journal_.WriteAll(pending_.data(), pending_.size());
    pending_.clear();
    return written;
}

bool RunJournal::Sync() {
    if (!journal_.IsOpen())
        return false;
    if (!Flush())
        return false;
    // The run's own folder and its place among the runs go to the disk once, with the first
    // sync; old/ gains a name with each old file kept.
    const bool synced = !unsynced_ || journal_.Sync();
    unsynced_ = !synced;
    const bool oldSynced = !oldUnsynced_ || old_.Sync();
    oldUnsynced_ = !oldSynced;
    const bool foldersSynced = !foldersUnsynced_ || (run_.Sync() && runs_.Sync());
    foldersUnsynced_ = !foldersSynced;
    return synced && oldSynced && foldersSynced;
}

void RunJournal::Finish(int64_t filesChanged) {
    if (!journal_.IsOpen())
        return;
    if (filesChanged == 0 && next_ == 0) {
        journal_ = TFile();
        pending_.clear();
        run_ = TFolder();
        old_ = TFolder();
        (void)runs_.RemoveTree(id_.c_str());
        id_.clear();
        return;
    }
    (void)Write("end\t" + std::to_string(filesChanged) + "\t" + std::to_string(keptBytes_));
    (void)Sync();
    (void)journal_.Close();
}

bool RunJournal::Write(const std::string& line) {
    unsynced_ = true;
    pending_ += line;
    pending_ += '\n';
    // Lines wait for the next flush, which comes before the change they tell of.
    return pending_.size() < kPendingBytes || Flush();
}

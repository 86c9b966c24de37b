#include "engine/Replacer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "engine/RunObserver.h"
#include "engine/RunJournal.h"
#include "engine/RunReport.h"
#include "engine/Sha256.h"
#include "framework/FileError.h"
#include "framework/FileIdentity.h"
#include "framework/FileOperations.h"
#include "framework/FileReplacement.h"
#include "framework/TFile.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"

namespace {

constexpr size_t kWriteBufferSize = 256 * 1024;

class FileSource final : public ScanSource {
public:
    // `length`: the file's length when it was opened.
    FileSource(TFile& file, uint64_t length) : file_(file), length_(length) {}
    long long Read(char* buffer, size_t size) override {
        // Exactly the length read: the end, without a read that would say so. A file that has
        // grown since, or a length the system does not know (0), is read until a read says so.
        if (length_ > 0 && done_ == length_)
            return 0;
        const long long n = file_.Read(buffer, size);
        if (n > 0)
            done_ += static_cast<uint64_t>(n);
        return n;
    }

private:
    TFile& file_;
    const uint64_t length_;
    uint64_t done_ = 0;
};

// Collects the new content beside the file, started only when the first match is found; the
// replacement is dropped when the sink ends uncommitted, whatever happened. While the file is
// scanned the sink knows its name and the open file; the unchanged start of the new content is
// read from that very descriptor, never from the file's name looked up again.
class ReplacementSink final : public ScanSink {
public:
    explicit ReplacementSink(char* buffer) : buffer_(buffer) {}

    // The file being scanned, until Detach.
    void Attach(const TFileName& file, TFile& scanned, bool keepDates) {
        file_ = &file;
        scanned_ = &scanned;
        keepDates_ = keepDates;
    }
    void Detach() { file_ = nullptr, scanned_ = nullptr; }

    bool Begin(uint64_t unchangedLength) override {
        if (!file_ || !replacement_.Begin(*file_, *scanned_))
            return false;
        replacement_.KeepLastWriteTime(keepDates_);
        for (uint64_t offset = 0; offset < unchangedLength;) {
            size_t want =
                static_cast<size_t>(std::min<uint64_t>(unchangedLength - offset, kWriteBufferSize));
            long long n = scanned_->ReadAt(offset, buffer_, want);
            if (n <= 0 || !WriteThrough(buffer_, static_cast<size_t>(n)))
                return false;  // cut short: the file changed under us
            offset += static_cast<uint64_t>(n);
        }
        return true;
    }

    bool Write(const char* data, size_t size) override {
        if (fill_ + size > kWriteBufferSize) {
            if (!Finish())
                return false;
            if (size >= kWriteBufferSize)
                return WriteThrough(data, size);
        }
        std::memcpy(buffer_ + fill_, data, size);
        fill_ += size;
        return true;
    }

    // Writes out what the shared buffer holds, which is then free for the next file.
    bool Finish() {
        bool ok = fill_ == 0 || WriteThrough(buffer_, fill_);
        fill_ = 0;
        return ok;
    }

    // Puts the new content in place of the file, in one step, if it is still the file read.
    bool Commit() { return Finish() && replacement_.Commit(); }

    TFileReplacement* Replacement() { return &replacement_; }
    uint64_t Written() const { return written_; }
    // What an undo recognises the new content by: the SHA-256 of every byte written.
    void HashWhatIsWritten() { hashing_ = true; }
    std::string Hash() { return ToHex(hash_.Final()); }

private:
    bool WriteThrough(const char* data, size_t size) {
        written_ += size;
        if (hashing_)
            hash_.Update(data, size);
        return replacement_.Write(data, size);
    }

    Sha256 hash_;
    bool hashing_ = false;

    const TFileName* file_ = nullptr;
    TFile* scanned_ = nullptr;
    bool keepDates_ = false;
    char* buffer_;
    size_t fill_ = 0;
    uint64_t written_ = 0;
    TFileReplacement replacement_;
};

// Passes the scan's output on (to nothing, in a preview) and keeps what it says of the new
// content, up to a limit, for an observer that shows changes: the length of the unchanged
// start, and what follows it.
class CapturingSink final : public ScanSink {
public:
    CapturingSink(ScanSink* next, size_t limit) : next_(next), limit_(limit) {}

    bool Begin(uint64_t unchangedLength) override {
        unchanged_ = unchangedLength;
        over_ = limit_ == 0 || unchangedLength > limit_;
        return !next_ || next_->Begin(unchangedLength);
    }
    bool Write(const char* data, size_t size) override {
        if (!over_ && unchanged_ + written_.size() + size <= limit_)
            written_.append(data, size);
        else
            over_ = true;
        return !next_ || next_->Write(data, size);
    }

    // The new content, from the old one that the scan read; false when it was too large.
    bool NewContent(const std::string& old, std::string& content) const {
        if (over_ || unchanged_ > old.size())
            return false;
        content = old.substr(0, static_cast<size_t>(unchanged_)) + written_;
        return true;
    }

private:
    ScanSink* next_;
    const size_t limit_;
    uint64_t unchanged_ = 0;
    std::string written_;
    bool over_ = false;
};

// Shows the observer a changed file's content before and after, or that it is too large.
void ShowChange(RunObserver& observer,
                const std::string& path,
                TFile& in,
                uint64_t size,
                const CapturingSink& capture) {
    std::string old, content;
    if (size <= observer.ContentWanted()) {
        old.resize(static_cast<size_t>(size));
        long long n = old.empty() ? 0 : in.ReadAt(0, &old[0], old.size());
        old.resize(n > 0 ? static_cast<size_t>(n) : 0);
    }
    if (old.size() == size && capture.NewContent(old, content))
        observer.ChangeShown(path, &old, &content);
    else
        observer.ChangeShown(path, nullptr, nullptr);
}

constexpr const char kBackupPrefix[] = "Backup of ";

bool IsBackupName(std::string_view name) {
    return name.substr(0, sizeof kBackupPrefix - 1) == kBackupPrefix;
}

// A run lets no more new content than this wait for the disk.
constexpr uint64_t kMaxWaitingBytes = 64u << 20;

}  // namespace

Replacer::Replacer(const JobSettings& job, size_t blockSize)
    : FindText(job.findText),
      ReplaceText(job.replaceText),
      CaseSensitive(job.caseSensitive),
      WholeWords(job.wholeWords),
      CreateBackups(job.createBackups),
      BinaryFiles(job.binaryFiles),
      KeepDates(job.keepDates),
      Preview(job.mode == RunMode::Preview),
      scanner_(ScanOptions{FindText, ReplaceText, CaseSensitive, WholeWords, !BinaryFiles},
               blockSize),
      writeBuffer_(new char[kWriteBufferSize]) {}

TFileName Replacer::BackupName(const TFileName& file) {
    TFileName backup(file);
    backup.SetBaseName(kBackupPrefix + std::string(file.BaseName()));
    return backup;
}

// A file whose new content is complete, waiting to be put in place.
struct Replacer::Finished {
    explicit Finished(char* buffer) : sink(buffer) {}
    ReplacementSink sink;
    FileIdentity identity;
    uint64_t replacements = 0;
    std::string path;  // for what the run tells
    // The journal's record of it: its kept old content (number 0: none), and where the file
    // really is.
    KeptContent kept;
    std::string realPath;
};

Replacer::~Replacer() {
    PutWaitingInPlace();
}

// What a killed run left goes before anything new is made in a folder: in each folder the walk
// lists, when its first file comes, and in each folder a link leads to.
void Replacer::RemoveLeftovers(const TFileName& file) {
    const TFolder* listed = file.FoundIn();
    if (!listed) {
        const std::string folder(file.Folder());
        if (!cleanedPath_ || folder != *cleanedPath_)
            RemoveStaleReplacements(folder.empty() ? "." : folder);
        cleanedPath_ = folder;
        return;
    }
    if (listed->Serial() != cleanedSerial_)
        RemoveStaleReplacements(*listed);
    cleanedSerial_ = listed->Serial();
    FileIdentity holder;
    if (file.ThroughLink() && file.Holder()->GetIdentity(holder) &&
        cleanedHolders_.insert(holder).second)
        RemoveStaleReplacements(*file.Holder());
}

bool Replacer::ProcessFile(const TFileName& file) {
    // A backup holds a file as it was before a run; no later run rewrites it.
    if (IsBackupName(file.NameAndExtension()) ||
        (file.ThroughLink() && IsBackupName(file.NameInHolder())))
        return false;
    if (!Preview)
        RemoveLeftovers(file);
    ClearFileError();
    TFile in;
    FileStamp scanned;
    if (!in.OpenRead(file) || !in.GetStamp(scanned))
        return Fail(file.FullPath(), "cannot be read");
    if (IsWaiting(scanned.identity)) {
        // Handed over again while its new content waits: that goes in place first.
        (void)in.Close();
        PutWaitingInPlace();
        ClearFileError();
        if (!in.OpenRead(file) || !in.GetStamp(scanned))
            return Fail(file.FullPath(), "cannot be read");
    }
    // A file this run has made is the new content of one it has done (reached again under
    // another name, or through a link): it is not done twice.
    if (made_.count(scanned.identity))
        return false;
    std::unique_ptr<Finished> finished(new Finished(writeBuffer_.get()));
    finished->identity = scanned.identity;
    FileSource source(in, scanned.size);
    finished->sink.Attach(file, in, KeepDates);
    if (Journal)
        finished->sink.HashWhatIsWritten();
    scanner_.SkipBinary(!BinaryFiles);
    // A preview writes nothing: the scan's output goes no further than what is shown of it.
    const size_t shown = Observer ? Observer->ContentWanted() : 0;
    CapturingSink capture(Preview ? nullptr : &finished->sink, shown);
    ScanResult scan = scanner_.Scan(source, capture);
    finished->sink.Detach();
    if (Observer)
        Observer->FileLookedAt(scanned.size);
    if (scan.status == ScanStatus::Binary) {
        ++BinaryFilesLeftAlone;
        if (Observer)
            Observer->BinaryLeftAlone(file.FullPath());
        return false;
    }
    if (scan.status == ScanStatus::ReadError)
        return Fail(file.FullPath(), "cannot be read");
    if (scan.status != ScanStatus::Ok || (scan.replacements > 0 && !finished->sink.Finish()))
        return Fail(file.FullPath(), "its new content cannot be written");
    if (scan.replacements == 0) {
        ++FilesProcessed;
        return true;
    }
    if (shown > 0)
        ShowChange(*Observer, file.FullPath(), in, scanned.size, capture);
    if (Preview) {
        ++FilesProcessed;
        ReplacementsMade += static_cast<int64_t>(scan.replacements);
        if (Observer)
            Observer->FileChanged(file.FullPath(), scan.replacements);
        return true;
    }
    finished->replacements = scan.replacements;
    finished->path = file.FullPath();
    // The backup is whole before the file is touched, and made from the very file read.
    if (CreateBackups &&
        !CopyToBackup(in, file, kBackupPrefix + std::string(file.NameAndExtension())))
        return Fail(file.FullPath(), "cannot be backed up");
    // The old content is kept, from the very file read, before the file is touched.
    if (Journal &&
        Journal->KeepOld(in, finished->sink.Replacement()->InPlace(), scanned.size,
                         finished->kept))
        finished->realPath = realPaths_.Of(file);
    (void)in.Close();  // closed before the file is replaced; a read-only close cannot lose data
    if (holdFiles_ <= 1) {
        Record(*finished);
        if (Journal)
            (void)Journal->Sync();
        return PutInPlace(*finished);
    }
    finished->sink.Replacement()->StartFlush();
    waitingBytes_ += finished->sink.Written();
    waiting_.push_back(std::move(finished));
    if (waiting_.size() >= holdFiles_ || waitingBytes_ >= kMaxWaitingBytes)
        PutWaitingInPlace();
    return true;
}

bool Replacer::PutInPlace(Finished& file) {
    // A file that another program saved since it was opened is that program's: Commit drops
    // the new content, made from what was read (perhaps a mix of both versions).
    ClearFileError();
    if (!file.sink.Commit())
        return Fail(file.path, "cannot be replaced");
    if (file.sink.Replacement()->UsedMethod() == TFileReplacement::Method::Rename)
        made_.insert(file.sink.Replacement()->NewIdentity());
    ReplacementsMade += static_cast<int64_t>(file.replacements);
    ++FilesProcessed;
    if (Observer)
        Observer->FileChanged(file.path, file.replacements);
    return true;
}

void Replacer::PutWaitingInPlace() {
    std::vector<TFileReplacement*> group;
    group.reserve(waiting_.size());
    for (auto& file : waiting_)
        group.push_back(file->sink.Replacement());
    // Each file's journal entry is on the disk before the file changes. Written first, the
    // entries go to the disk with the group's flush where the journal shares its file system,
    // and the journal's own flush then finds little left to do.
    for (auto& file : waiting_)
        Record(*file);
    if (Journal)
        (void)Journal->Flush();
    (void)TFileReplacement::FlushTogether(group.data(), group.size());
    if (Journal && !waiting_.empty())
        (void)Journal->Sync();
    for (auto& file : waiting_)
        (void)PutInPlace(*file);
    waiting_.clear();
    waitingBytes_ = 0;
}

bool Replacer::IsWaiting(const FileIdentity& identity) const {
    for (const auto& file : waiting_)
        if (file->identity == identity)
            return true;
    return false;
}

void Replacer::Record(Finished& file) {
    FileStamp stamp;
    bool timeKnown = false;
    if (Journal && file.kept.number && file.sink.Replacement()->NewStamp(stamp, timeKnown))
        (void)Journal->AddFind(file.kept, file.realPath, stamp, timeKnown, file.sink.Hash());
}

bool Replacer::Fail(const std::string& path, const char* step) {
    if (Observer)
        Observer->Failed(path, DescribeFileError(step));
    return false;
}

void Replacer::ShowResult(ReportOwner& owner) {
    PutWaitingInPlace();
    owner.ShowMessage(ReplaceReportText(FilesProcessed, ReplacementsMade, BinaryFilesLeftAlone),
                      kReportCaption);
}

#include "engine/Replacer.h"

#include <algorithm>
#include <cstring>

#include "engine/RunReport.h"
#include "framework/FileIdentity.h"
#include "framework/FileOperations.h"
#include "framework/FileReplacement.h"
#include "framework/TFile.h"
#include "framework/TFileName.h"

namespace {

constexpr size_t kWriteBufferSize = 256 * 1024;

class FileSource final : public ScanSource {
public:
    explicit FileSource(TFile& file) : file_(file) {}
    long long Read(char* buffer, size_t size) override { return file_.Read(buffer, size); }

private:
    TFile& file_;
};

// Collects the new content beside the file, started only when the first match is found; the
// replacement is dropped when the sink ends uncommitted, whatever happened.
class ReplacementSink final : public ScanSink {
public:
    ReplacementSink(std::string target, char* buffer) : target_(std::move(target)), buffer_(buffer) {}

    bool Begin(uint64_t unchangedLength) override {
        if (!replacement_.Begin(target_))
            return false;
        TFile again;
        if (!again.OpenRead(target_))
            return false;
        while (unchangedLength > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(unchangedLength, kWriteBufferSize));
            long long n = again.Read(buffer_, want);
            if (n <= 0 || !WriteThrough(buffer_, static_cast<size_t>(n)))
                return false;  // cut short: the file changed under us
            unchangedLength -= static_cast<uint64_t>(n);
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

    // Puts the new content in place of the file, in one step.
    bool Commit() { return Finish() && replacement_.Commit(); }

    const std::string& Target() const { return target_; }
    TFileReplacement* Replacement() { return &replacement_; }
    uint64_t Written() const { return written_; }

private:
    bool WriteThrough(const char* data, size_t size) {
        written_ += size;
        return replacement_.Write(data, size);
    }

    const std::string target_;
    char* buffer_;
    size_t fill_ = 0;
    uint64_t written_ = 0;
    TFileReplacement replacement_;
};

// A run lets no more new content than this wait for the disk.
constexpr uint64_t kMaxWaitingBytes = 64u << 20;

}  // namespace

Replacer::Replacer(std::string findText, std::string replaceText, bool caseSensitive,
                   bool wholeWords, bool createBackups, size_t blockSize)
    : FindText(std::move(findText)),
      ReplaceText(std::move(replaceText)),
      CaseSensitive(caseSensitive),
      WholeWords(wholeWords),
      CreateBackups(createBackups),
      scanner_(ScanOptions{FindText, ReplaceText, caseSensitive, wholeWords}, blockSize),
      writeBuffer_(new char[kWriteBufferSize]) {}

TFileName Replacer::BackupName(const TFileName& file) {
    TFileName backup(file);
    backup.SetBaseName("Backup of " + std::string(file.BaseName()));
    return backup;
}

// A file whose new content is complete, waiting to be put in place.
struct Replacer::Finished {
    ReplacementSink sink;
    FileStamp scanned;
    uint64_t replacements;
};

Replacer::~Replacer() {
    PutWaitingInPlace();
}

bool Replacer::ProcessFile(const TFileName& file) {
    const std::string& path = file.FullPath();
    // What a killed run left in this folder goes before anything new is made there.
    if (file.Folder() != cleanedFolder_) {
        cleanedFolder_ = std::string(file.Folder());
        RemoveStaleReplacements(cleanedFolder_.empty() ? "." : cleanedFolder_);
    }
    TFile in;
    FileStamp scanned;
    if (!in.OpenRead(file) || !in.GetStamp(scanned))
        return false;
    if (IsWaiting(scanned.identity)) {
        // Handed over again (it matches two filters, or through a link): it is read as it will
        // be, with the new content that waits for it in place.
        (void)in.Close();
        PutWaitingInPlace();
        if (!in.OpenRead(file) || !in.GetStamp(scanned))
            return false;
    }
    std::unique_ptr<Finished> finished(
        new Finished{ReplacementSink(path, writeBuffer_.get()), scanned, 0});
    FileSource source(in);
    ScanResult scan = scanner_.Scan(source, finished->sink);
    (void)in.Close();  // closed before the file is replaced; a read-only close cannot lose data
    if (scan.status != ScanStatus::Ok || (scan.replacements > 0 && !finished->sink.Finish()))
        return false;
    if (scan.replacements == 0) {
        ++FilesProcessed;
        return true;
    }
    finished->replacements = scan.replacements;
    // The backup is whole before the file is touched; a waiting file of the backup's name goes
    // in place first, so that the backup is what stays under that name.
    if (CreateBackups) {
        const std::string backup = BackupName(file).FullPath();
        if (IsWaiting(backup))
            PutWaitingInPlace();
        if (!CopyFileReplacing(path, backup))
            return false;
    }
    if (holdFiles_ <= 1)
        return PutInPlace(*finished);
    finished->sink.Replacement()->StartFlush();
    waitingBytes_ += finished->sink.Written();
    waiting_.push_back(std::move(finished));
    if (waiting_.size() >= holdFiles_ || waitingBytes_ >= kMaxWaitingBytes)
        PutWaitingInPlace();
    return true;
}

bool Replacer::PutInPlace(Finished& file) {
    // A file that another program saved since it was opened is that program's: the new
    // content, made from what was read (perhaps a mix of both versions), is dropped.
    FileStamp now;
    if (!GetFileStamp(file.sink.Target(), now) || !(now == file.scanned) || !file.sink.Commit())
        return false;
    ReplacementsMade += static_cast<int64_t>(file.replacements);
    ++FilesProcessed;
    return true;
}

void Replacer::PutWaitingInPlace() {
    std::vector<TFileReplacement*> group;
    group.reserve(waiting_.size());
    for (auto& file : waiting_)
        group.push_back(file->sink.Replacement());
    (void)TFileReplacement::FlushTogether(group.data(), group.size());
    for (auto& file : waiting_)
        (void)PutInPlace(*file);
    waiting_.clear();
    waitingBytes_ = 0;
}

bool Replacer::IsWaiting(const FileIdentity& identity) const {
    for (const auto& file : waiting_)
        if (file->scanned.identity == identity)
            return true;
    return false;
}

bool Replacer::IsWaiting(const std::string& path) const {
    for (const auto& file : waiting_)
        if (file->sink.Target() == path)
            return true;
    return false;
}

void Replacer::ShowResult(ReportOwner& owner) {
    PutWaitingInPlace();
    owner.ShowMessage(ReplaceReportText(FilesProcessed, ReplacementsMade), kReportCaption);
}

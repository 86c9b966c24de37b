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
    ReplacementSink(const std::string& target, char* buffer) : target_(target), buffer_(buffer) {}

    bool Begin(uint64_t unchangedLength) override {
        if (!replacement_.Begin(target_))
            return false;
        TFile again;
        if (!again.OpenRead(target_))
            return false;
        while (unchangedLength > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(unchangedLength, kWriteBufferSize));
            long long n = again.Read(buffer_, want);
            if (n <= 0 || !replacement_.Write(buffer_, static_cast<size_t>(n)))
                return false;  // cut short: the file changed under us
            unchangedLength -= static_cast<uint64_t>(n);
        }
        return true;
    }

    bool Write(const char* data, size_t size) override {
        if (fill_ + size > kWriteBufferSize) {
            if (!Flush())
                return false;
            if (size >= kWriteBufferSize)
                return replacement_.Write(data, size);
        }
        std::memcpy(buffer_ + fill_, data, size);
        fill_ += size;
        return true;
    }

    // Puts the new content in place of the file, in one step.
    bool Commit() { return Flush() && replacement_.Commit(); }

private:
    bool Flush() {
        bool ok = fill_ == 0 || replacement_.Write(buffer_, fill_);
        fill_ = 0;
        return ok;
    }

    const std::string& target_;
    char* buffer_;
    size_t fill_ = 0;
    TFileReplacement replacement_;
};

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

bool Replacer::ProcessFile(const TFileName& file) {
    const std::string& path = file.FullPath();
    // What a killed run left in this folder goes before anything new is made there.
    if (file.Folder() != cleanedFolder_) {
        cleanedFolder_ = std::string(file.Folder());
        RemoveStaleReplacements(cleanedFolder_.empty() ? "." : cleanedFolder_);
    }
    TFile in;
    FileStamp scanned;
    if (!in.OpenRead(path) || !in.GetStamp(scanned))
        return false;
    ReplacementSink sink(path, writeBuffer_.get());
    FileSource source(in);
    ScanResult scan = scanner_.Scan(source, sink);
    (void)in.Close();  // closed before the file is replaced; a read-only close cannot lose data
    if (scan.status != ScanStatus::Ok)
        return false;
    if (scan.replacements > 0) {
        // The backup is whole before the file is touched.
        if (CreateBackups && !CopyFileReplacing(path, BackupName(file).FullPath()))
            return false;
        // A file that another program saved since it was opened is that program's: the new
        // content, made from what was read (perhaps a mix of both versions), is dropped.
        FileStamp now;
        if (!GetFileStamp(path, now) || !(now == scanned) || !sink.Commit())
            return false;
        ReplacementsMade += static_cast<int64_t>(scan.replacements);
    }
    ++FilesProcessed;
    return true;
}

void Replacer::ShowResult(ReportOwner& owner) {
    owner.ShowMessage(ReplaceReportText(FilesProcessed, ReplacementsMade), kReportCaption);
}

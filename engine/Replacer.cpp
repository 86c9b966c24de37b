#include "engine/Replacer.h"

#include <algorithm>
#include <cstring>

#include "engine/RunReport.h"
#include "framework/FileOperations.h"
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

// Collects the new content in a temporary file, made only when the first match is found; the
// temporary file is removed when the sink ends, whatever happened.
class TempFileSink final : public ScanSink {
public:
    TempFileSink(const std::string& source, char* buffer) : source_(source), buffer_(buffer) {}
    ~TempFileSink() {
        if (!name_.empty()) {
            if (temp_.IsOpen())
                (void)temp_.Close();
            (void)RemoveFile(name_);
        }
    }

    bool Begin(uint64_t unchangedLength) override {
        if (!temp_.CreateTemp(name_))
            return false;
        TFile again;
        if (!again.OpenRead(source_))
            return false;
        while (unchangedLength > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(unchangedLength, kWriteBufferSize));
            long long n = again.Read(buffer_, want);
            if (n <= 0 || !temp_.WriteAll(buffer_, static_cast<size_t>(n)))
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
                return temp_.WriteAll(data, size);
        }
        std::memcpy(buffer_ + fill_, data, size);
        fill_ += size;
        return true;
    }

    // Flushes and closes the temporary file; its content counts only when this succeeds.
    bool Finish() { return Flush() && temp_.Close(); }

    bool RemoveTemp() {
        bool removed = RemoveFile(name_);
        name_.clear();
        return removed;
    }

    const std::string& Name() const { return name_; }

private:
    bool Flush() {
        bool ok = fill_ == 0 || temp_.WriteAll(buffer_, fill_);
        fill_ = 0;
        return ok;
    }

    const std::string& source_;
    char* buffer_;
    size_t fill_ = 0;
    TFile temp_;
    std::string name_;
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
    TFile in;
    if (!in.OpenRead(path))
        return false;
    TempFileSink sink(path, writeBuffer_.get());
    FileSource source(in);
    ScanResult scan = scanner_.Scan(source, sink);
    (void)in.Close();  // closed before the file is written; a read-only close cannot lose data
    if (scan.status != ScanStatus::Ok)
        return false;
    if (scan.replacements > 0) {
        if (!sink.Finish())
            return false;
        if (CreateBackups && !CopyFileReplacing(path, BackupName(file).FullPath()))
            return false;
        if (!OverwriteFileContent(sink.Name(), path))
            return false;
        ReplacementsMade += static_cast<int64_t>(scan.replacements);
        if (!sink.RemoveTemp())
            return false;
    }
    ++FilesProcessed;
    return true;
}

void Replacer::ShowResult(ReportOwner& owner) {
    owner.ShowMessage(ReplaceReportText(FilesProcessed, ReplacementsMade), kReportCaption);
}

#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/BlockScanner.h"
#include "engine/FileProcessorBase.h"

// The Find action's processor. A file is read once; only a file with a replacement is written:
// its new content goes to a temporary file beside it, the original is copied to its backup when
// asked, then the new content takes the file's place in one step (see TFileReplacement).
class Replacer : public FileProcessorBase {
public:
    Replacer(std::string findText, std::string replaceText, bool caseSensitive, bool wholeWords,
             bool createBackups, size_t blockSize = BlockScanner::kDefaultBlockSize);

    bool ProcessFile(const TFileName& file) override;
    void ShowResult(ReportOwner& owner) override;

    // "Backup of " and the file's name, in the file's folder.
    static TFileName BackupName(const TFileName& file);

    const std::string FindText;
    const std::string ReplaceText;
    const bool CaseSensitive;
    const bool WholeWords;
    const bool CreateBackups;
    // Files scanned and finished without failure, changed or not.
    int64_t FilesProcessed = 0;
    // Replacements written into files that were rewritten.
    int64_t ReplacementsMade = 0;

private:
    BlockScanner scanner_;
    std::string cleanedFolder_;
    std::unique_ptr<char[]> writeBuffer_;
};

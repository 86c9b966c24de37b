#pragma once

#include <string>

class TFileName;

// Whoever shows a run's report: the dialog's message box, or standard output.
class ReportOwner {
public:
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;

protected:
    ~ReportOwner() = default;
};

// Acts on one file at a time and counts its own results. A processor is a local of the run and
// is never destroyed through a pointer to this base.
class FileProcessorBase {
public:
    // True when the file was processed and counted.
    virtual bool ProcessFile(const TFileName& file) = 0;
    // Whether the processor reads the files it is handed: the walk then opens them as it looks
    // at them, where that saves a status read, and hands them over open.
    virtual bool ReadsFiles() const { return false; }
    // The walk has handed over the last file of the folder it is in, which is still open.
    virtual void FolderDone() {}
    // Completes whatever work the processor held back; called once, after the walk.
    virtual void FinishRun() {}
    // Shows the run's report through `owner`; called at most once, after the walk.
    virtual void ShowResult(ReportOwner& owner) = 0;

protected:
    ~FileProcessorBase() = default;
};

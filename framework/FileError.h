#pragma once

#include <string>

// Why the last file call of this thread failed, for messages: the file layer's own reason where
// it has one, else the system's error as it stood right after the failing call.
enum class FileProblem {
    None,
    // The name leads to another file than the one the walk listed or the run read.
    NotTheFileListed,
    // The file was changed by someone else after it was opened: it is theirs now.
    ChangedMeanwhile,
    // Neither a regular file nor a folder (a FIFO, a device) took the name.
    NotRegularFile,
};

// Forgets the reason of an earlier failure; each step of a file starts with it.
void ClearFileError();
// For the file layer: the reason of the failure it is about to report.
void SetFileProblem(FileProblem problem);
// For the file layer: the system's error now (errno, GetLastError) is the reason, unless a
// reason of the layer's own was set.
void NoteSystemError();

// Notes the reason and gives the false a failing call returns: `return SystemFailure();`.
inline bool SystemFailure() {
    NoteSystemError();
    return false;
}
inline bool Failure(FileProblem problem) {
    SetFileProblem(problem);
    return false;
}

// "Permission denied", "changed by another program meanwhile", ...; "" when nothing was noted.
std::string LastFileErrorText();
// Why the step `failed` ("cannot be read") failed, for a message about the file: the layer's
// own reason alone, which says what became of the file ("changed by another program while it
// was read; left to that program"), or the step and the system's error ("cannot be read:
// Permission denied").
std::string DescribeFileError(const char* failed);

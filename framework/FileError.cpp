#include "framework/FileError.h"

#include "framework/SystemError.h"

namespace {

struct LastError {
    FileProblem problem = FileProblem::None;
    int code = 0;
    bool noted = false;
};

thread_local LastError last;

}  // namespace

void ClearFileError() {
    last = LastError();
}

void SetFileProblem(FileProblem problem) {
    if (last.noted)
        return;  // the first reason noted is the one that failed the call
    last.problem = problem;
    last.noted = true;
}

void NoteSystemError() {
    if (last.noted)
        return;
    last.code = LastSystemError();
    last.noted = true;
}

std::string LastFileErrorText() {
    switch (last.problem) {
        case FileProblem::NotTheFileListed:
            return "another file has taken its name since it was listed; left alone";
        case FileProblem::ChangedMeanwhile:
            return "changed by another program while it was read; left to that program";
        case FileProblem::NotRegularFile:
            return "no longer a regular file; left alone";
        case FileProblem::None:
            break;
    }
    return last.noted ? SystemErrorText(last.code) : std::string();
}

std::string DescribeFileError(const char* failed) {
    if (last.problem != FileProblem::None)
        return LastFileErrorText();
    const std::string why = LastFileErrorText();
    return why.empty() ? std::string(failed) : std::string(failed) + ": " + why;
}

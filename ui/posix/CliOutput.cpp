#include "ui/posix/CliOutput.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/RunReport.h"
#include "engine/UnifiedDiff.h"

namespace {

constexpr const char* kPathColor = "\033[35m";   // magenta, as search tools show file names
constexpr const char* kCountColor = "\033[32m";  // green
constexpr const char* kErrorColor = "\033[31m";  // red
constexpr const char* kReset = "\033[0m";

constexpr auto kQuietStart = std::chrono::milliseconds(500);
constexpr auto kRedraw = std::chrono::milliseconds(100);

}  // namespace

bool CliOutput::ColorOn(ColorWhen when, int fd) {
    if (when != ColorWhen::Auto)
        return when == ColorWhen::Always;
    const char* noColor = std::getenv("NO_COLOR");
    const char* term = std::getenv("TERM");
    return ::isatty(fd) && !(noColor && *noColor) && !(term && std::strcmp(term, "dumb") == 0);
}

CliOutput::CliOutput(const CliRequest& request, Action action, const std::string& folder)
    : list_(request.list),
      quiet_(request.quiet),
      touch_(action == Action::Touch),
      preview_(request.dryRun),
      diff_(request.diff && action == Action::Find),
      colorOut_(ColorOn(request.color, STDOUT_FILENO)),
      colorErr_(ColorOn(request.color, STDERR_FILENO)),
      progress_(::isatty(STDERR_FILENO) != 0),
      prefix_(folder.empty() ? 0 : folder.size() + (folder.back() == '/' ? 0 : 1)),
      start_(std::chrono::steady_clock::now()) {}

CliOutput::~CliOutput() {
    ClearProgress();
}

void CliOutput::FileChanged(const std::string& path, uint64_t replacements) {
    ++changed_;
    if (!list_)
        return;
    ClearProgress();
    const std::string rel = Relative(path);
    if (colorOut_)
        std::printf("%s%s%s", kPathColor, rel.c_str(), kReset);
    else
        std::fwrite(rel.data(), 1, rel.size(), stdout);
    if (!touch_) {
        if (colorOut_)
            std::printf(":%s%llu%s", kCountColor, static_cast<unsigned long long>(replacements),
                        kReset);
        else
            std::printf(":%llu", static_cast<unsigned long long>(replacements));
    }
    std::putchar('\n');
}

std::string CliOutput::Relative(const std::string& path) const {
    return path.size() > prefix_ ? path.substr(prefix_) : path;
}

void CliOutput::ChangeShown(const std::string& path,
                            const std::string* oldText,
                            const std::string* newText) {
    ClearProgress();
    const std::string rel = Relative(path);
    // As diff says it of what it does not show line by line.
    if (!oldText || !newText) {
        std::printf("Files %s and %s differ (larger than %zu MiB; not shown)\n", rel.c_str(),
                    rel.c_str(), kMaxDiffed >> 20);
    } else if (oldText->find('\0') != std::string::npos ||
               newText->find('\0') != std::string::npos) {
        std::printf("Binary files %s and %s differ\n", rel.c_str(), rel.c_str());
    } else {
        const std::string diff = UnifiedDiff(*oldText, *newText, rel, rel, colorOut_);
        std::fwrite(diff.data(), 1, diff.size(), stdout);
    }
}

void CliOutput::Failed(const std::string& path, const std::string& reason) {
    ClearProgress();
    std::fflush(stdout);
    std::fprintf(stderr, "scrivox: %s: %s%s%s\n", path.c_str(), colorErr_ ? kErrorColor : "",
                 reason.c_str(), colorErr_ ? kReset : "");
}

void CliOutput::FileLookedAt(uint64_t bytes) {
    ++files_;
    bytes_ += bytes;
    if (!progress_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ >= kQuietStart && (!shown_ || now - drawn_ >= kRedraw)) {
        drawn_ = now;
        DrawProgress();
    }
}

void CliOutput::BinaryLeftAlone(const std::string& path) {
    if (!list_)
        return;
    ClearProgress();
    std::fflush(stdout);
    std::fprintf(stderr, "scrivox: %s: binary; left alone\n", path.c_str());
}

void CliOutput::Report(const RunCounts& counts) {
    ClearProgress();
    if (!quiet_) {
        const std::string text =
            preview_ ? PreviewReportText(touch_, counts.filesChanged, counts.replacementsMade)
            : touch_ ? TouchReportText(counts.filesProcessed)
                     : ReplaceReportText(counts.filesProcessed, counts.replacementsMade);
        std::printf("%s\n", text.c_str());
    }
    std::fflush(stdout);
    if (counts.binaryLeftAlone > 0) {
        std::string line = BinaryLine(counts.binaryLeftAlone);
        line.pop_back();  // its full stop
        std::fprintf(stderr, "scrivox: %s; --binary takes them too\n", line.c_str());
    }
}

void CliOutput::DrawProgress() {
    std::fflush(stdout);
    std::fprintf(stderr, "\rscrivox: %llu files looked at, %.1f MB read, %llu %s\033[K",
                 static_cast<unsigned long long>(files_), static_cast<double>(bytes_) / 1e6,
                 static_cast<unsigned long long>(changed_), touch_ ? "touched" : "changed");
    std::fflush(stderr);
    shown_ = true;
}

void CliOutput::ClearProgress() {
    if (!shown_)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

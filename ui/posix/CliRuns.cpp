#include "ui/posix/CliRuns.h"

#include <cstdio>
#include <ctime>
#include <iostream>

#include "engine/RunHistory.h"
#include "ui/UndoReport.h"
#include "ui/posix/CliOutput.h"

namespace {

std::string LocalTimeText(int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    char text[32] = "?";
    if (::localtime_r(&t, &local))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string SizeText(uint64_t bytes) {
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    else if (bytes < (uint64_t{1} << 20))
        std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
    else
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
    return text;
}

}  // namespace

int ListRunsCommand(const CliRequest&) {
    const std::vector<RunRecord> runs = ListRuns();
    if (runs.empty()) {
        std::printf("No runs are kept.\n");
        return 0;
    }
    std::printf("%-18s %-19s %-6s %6s %10s  %s\n", "ID", "TIME", "ACTION", "FILES", "SIZE",
                "FOLDER");
    for (const RunRecord& r : runs) {
        if (r.damaged) {
            std::printf("%-18s (its journal is damaged; it cannot be undone)\n", r.id.c_str());
            continue;
        }
        std::printf("%-18s %-19s %-6s %6lld %10s  %s%s%s\n", r.id.c_str(),
                    LocalTimeText(r.time).c_str(), r.action.c_str(),
                    static_cast<long long>(r.files), SizeText(r.keptBytes).c_str(),
                    r.folder.c_str(), r.undone ? "  (undone)" : "",
                    r.ended || r.undone ? "" : "  (stopped)");
    }
    return 0;
}

int UndoCommand(const CliRequest& request) {
    UndoOutcome outcome;
    {
        CliOutput output(request, Action::Touch, std::string());
        outcome = UndoRun(*request.undo, request.dryRun, &output);
    }
    if (outcome.refusal) {
        std::cerr << "scrivox: " << *outcome.refusal << '\n';
        return 2;
    }
    if (!request.quiet)
        std::printf("%s\n", UndoReportText(outcome, request.dryRun).c_str());
    return outcome.leftChanged > 0 || outcome.failed > 0 ? 1 : 0;
}

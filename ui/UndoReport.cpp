#include "ui/UndoReport.h"

#include <cstdio>

namespace {

std::string Files(int64_t n) {
    return n == 0 ? "No files" : n == 1 ? "1 file" : std::to_string(n) + " files";
}

// A text of the journal as the question quotes it: on one line, and short enough that a long
// one cannot push the rest of the question off the screen. Cut between characters, not inside
// one.
std::string Quoted(const std::string& text) {
    constexpr size_t kLongest = 40;
    std::string shown;
    for (char c : text)
        shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
    if (shown.size() > kLongest) {
        size_t cut = kLongest;
        while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xc0) == 0x80)
            --cut;
        shown = shown.substr(0, cut) + "...";
    }
    return "\"" + shown + "\"";
}

}  // namespace

std::string UndoReportText(const UndoOutcome& outcome, bool preview) {
    std::string text = Files(outcome.restored) + (preview ? " would be restored." : " restored.");
    if (outcome.leftChanged == 1)
        text += "\n1 file was left because it changed since.";
    else if (outcome.leftChanged > 1)
        text += "\n" + std::to_string(outcome.leftChanged) +
                " files were left because they changed since.";
    return text;
}

std::string UndoFailedLine(int64_t failed) {
    return Files(failed) + " could not be restored.";
}

std::string DateTimeText(const TDateTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

std::string UndoQuestion(const RunRecord& run, const TDateTime& localTime) {
    std::string text =
        "Undo the run of " + DateTimeText(localTime) + "?\n\nFolder: " + run.folder + "\n";
    const std::string files = run.files == 0 ? "no files" : Files(run.files);
    if (run.action == "touch")
        text += "It touched " + files + ".";
    else
        text += "It replaced " + Quoted(run.findText) + " with " + Quoted(run.replaceText) +
                " in " + files + ".";
    if (!run.ended)
        text += " It was stopped before it ended.";
    return text +
           "\n\nEach file gets back what it had before the run, unless it has changed "
           "since.";
}

std::string AsSentence(const std::string& message) {
    if (message.empty())
        return message;
    std::string text = message;
    if (text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    if (text.back() != '.')
        text += '.';
    return text;
}

#include "engine/UnifiedDiff.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "engine/LineDiff.h"

namespace {

constexpr std::size_t kContext = 3;

constexpr const char* kBold = "\x1b[1m";
constexpr const char* kCyan = "\x1b[36m";
constexpr const char* kRed = "\x1b[31m";
constexpr const char* kGreen = "\x1b[32m";
constexpr const char* kReset = "\x1b[m";

// Each line with its '\n', the last one perhaps without.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return lines;
}

// Lines that are removed from one side and added to the other, at the same place.
struct Change {
    std::size_t oldAt, oldCount, newAt, newCount;
};

std::vector<Change> Changes(const LineChanges& lines) {
    const std::size_t n = lines.deleted.size(), m = lines.inserted.size();
    std::vector<Change> changes;
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if ((i < n && lines.deleted[i]) || (j < m && lines.inserted[j])) {
            Change c{i, 0, j, 0};
            while (i < n && lines.deleted[i])
                ++i;
            while (j < m && lines.inserted[j])
                ++j;
            c.oldCount = i - c.oldAt;
            c.newCount = j - c.newAt;
            changes.push_back(c);
        } else {
            ++i;
            ++j;
        }
    }
    return changes;
}

// diff's way: "-3,2" for lines 3 and 4, "-3" for line 3 alone, "-2,0" for none after line 2.
std::string Range(std::size_t at, std::size_t count) {
    if (count == 1)
        return std::to_string(at + 1);
    return std::to_string(count == 0 ? at : at + 1) + "," + std::to_string(count);
}

class Printer {
public:
    Printer(std::string& out, bool color) : out_(out), color_(color) {}

    void Header(char mark, const std::string& label) {
        Open(kBold);
        out_.append(3, mark).append(" ").append(label);
        Close();
    }

    void HunkHeader(const Change& hunk) {
        Open(kCyan);
        out_ += "@@ -" + Range(hunk.oldAt, hunk.oldCount) + " +" +
                Range(hunk.newAt, hunk.newCount) + " @@";
        Close();
    }

    void Line(char mark, std::string_view line) {
        const bool complete = !line.empty() && line.back() == '\n';
        if (complete)
            line.remove_suffix(1);
        Open(mark == '-' ? kRed : mark == '+' ? kGreen : nullptr);
        out_ += mark;
        out_ += line;
        Close();
        if (!complete)
            out_ += "\\ No newline at end of file\n";
    }

private:
    void Open(const char* colour) {
        open_ = color_ && colour != nullptr;
        if (open_)
            out_ += colour;
    }
    void Close() {
        if (open_)
            out_ += kReset;
        out_ += '\n';
    }

    std::string& out_;
    const bool color_;
    bool open_ = false;
};

}  // namespace

std::string UnifiedDiff(std::string_view oldText,
                        std::string_view newText,
                        const std::string& oldLabel,
                        const std::string& newLabel,
                        bool color) {
    if (oldText == newText)
        return "";
    const std::vector<std::string_view> oldLines = SplitLines(oldText);
    const std::vector<std::string_view> newLines = SplitLines(newText);

    // Lines are compared by class number: equal lines get the same one through one hash table.
    std::unordered_map<std::string_view, std::uint32_t> classOf;
    classOf.reserve(oldLines.size() + newLines.size());
    auto classes = [&classOf](const std::vector<std::string_view>& lines) {
        std::vector<std::uint32_t> numbers;
        numbers.reserve(lines.size());
        for (std::string_view line : lines)
            numbers.push_back(classOf.emplace(line, std::uint32_t(classOf.size())).first->second);
        return numbers;
    };
    const std::vector<std::uint32_t> oldClasses = classes(oldLines);
    const std::vector<std::uint32_t> newClasses = classes(newLines);
    const std::vector<Change> changes = Changes(DiffLines(oldClasses, newClasses));

    std::string out;
    Printer print(out, color);
    print.Header('-', oldLabel);
    print.Header('+', newLabel);
    for (std::size_t first = 0; first < changes.size();) {
        // A hunk takes the following changes while the unchanged lines between them are no
        // more than its context after one change and before the next.
        std::size_t last = first;
        while (last + 1 < changes.size() &&
               changes[last + 1].oldAt - (changes[last].oldAt + changes[last].oldCount) <=
                   2 * kContext)
            ++last;
        // The lines before and after a change are unchanged, as many on either side.
        const Change& begin = changes[first];
        const Change& end = changes[last];
        const std::size_t before = std::min(kContext, begin.oldAt);
        const std::size_t after = std::min(kContext, oldLines.size() - (end.oldAt + end.oldCount));
        Change hunk{begin.oldAt - before, 0, begin.newAt - before, 0};
        hunk.oldCount = end.oldAt + end.oldCount + after - hunk.oldAt;
        hunk.newCount = end.newAt + end.newCount + after - hunk.newAt;
        print.HunkHeader(hunk);

        std::size_t oldAt = hunk.oldAt;
        for (std::size_t c = first; c <= last; ++c) {
            for (; oldAt < changes[c].oldAt; ++oldAt)
                print.Line(' ', oldLines[oldAt]);
            for (std::size_t i = 0; i < changes[c].oldCount; ++i)
                print.Line('-', oldLines[oldAt++]);
            for (std::size_t i = 0; i < changes[c].newCount; ++i)
                print.Line('+', newLines[changes[c].newAt + i]);
        }
        for (std::size_t i = 0; i < after; ++i)
            print.Line(' ', oldLines[oldAt++]);
        first = last + 1;
    }
    return out;
}

#include "engine/RunReport.h"

namespace {

std::string CountLine(long long count, const char* none, const char* one, const char* many) {
    if (count == 0)
        return none;
    if (count == 1)
        return one;
    return std::to_string(count) + many;
}

}  // namespace

std::string FilesLine(long long filesProcessed) {
    return CountLine(filesProcessed, "No files processed.", "1 file processed.",
                     " files processed.");
}

std::string ReplacementsLine(long long replacementsMade) {
    return CountLine(replacementsMade, "No replacements made.", "1 replacement made.",
                     " replacements made.");
}

std::string BinaryLine(long long binaryLeftAlone) {
    return CountLine(binaryLeftAlone, "No binary files left alone.", "1 binary file left alone.",
                     " binary files left alone.");
}

std::string ReplaceReportText(long long filesProcessed,
                              long long replacementsMade,
                              long long binaryLeftAlone) {
    std::string text = FilesLine(filesProcessed) + '\n' + ReplacementsLine(replacementsMade);
    if (binaryLeftAlone > 0)
        text += '\n' + BinaryLine(binaryLeftAlone);
    return text;
}

std::string TouchReportText(long long filesProcessed) {
    return FilesLine(filesProcessed);
}

std::string PreviewReportText(bool touch, long long filesChanged, long long replacementsMade) {
    if (touch)
        return CountLine(filesChanged, "No files would be touched.", "1 file would be touched.",
                         " files would be touched.");
    return CountLine(filesChanged, "No files would change.", "1 file would change.",
                     " files would change.") +
           '\n' +
           CountLine(replacementsMade, "No replacements would be made.",
                     "1 replacement would be made.", " replacements would be made.");
}

// Both command-line readers on arbitrary bytes: no crash, and what they take keeps their
// rules. The whole input is one Windows command line, read into a fresh ReplaceData; split at
// its NUL bytes it is also the argument list of scrivox, whose texts are known exactly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/CliArguments.h"
#include "ui/CommandLine.h"
#include "ui/ReplaceData.h"

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "command line fault: %s\n", what);
    std::abort();
}

std::vector<const std::optional<std::string>*> Fields(const ReplaceData& d) {
    return {&d.FolderArg, &d.FilterArg, &d.FindArg, &d.ReplaceArg};
}

// A stored text is never empty and never holds a NUL; the texts fill in order.
void CheckTexts(const ReplaceData& d) {
    bool gap = false;
    for (const std::optional<std::string>* field : Fields(d)) {
        if (!*field) {
            gap = true;
            continue;
        }
        if (gap)
            Fail("a later text is set while an earlier one is empty");
        if ((*field)->empty())
            Fail("an empty text is stored");
        if ((*field)->find('\0') != std::string::npos)
            Fail("a stored text holds a NUL");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);

    ReplaceData fromLine;
    ParseCommandLine(line, fromLine);
    CheckTexts(fromLine);
    for (const std::optional<std::string>* field : Fields(fromLine)) {
        // Quoted texts end at a quote, unquoted ones before one.
        if (*field && (*field)->find('"') != std::string::npos)
            Fail("a text from the command line holds a double quote");
        if (*field && line.find(**field) == std::string::npos)
            Fail("a text that is not part of the command line");
    }

    // The scrivox reader's texts are simple enough to state again here: every argument that
    // is no option, in order, empty ones included; a refused option list is all or nothing.
    std::vector<std::string> args;
    for (size_t start = 0; start <= size;) {
        size_t end = line.find('\0', start);
        if (end == std::string::npos)
            end = size;
        args.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    std::vector<const char*> argv;
    std::vector<std::string> expected;
    bool options = true;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
        if (options && a == "--")
            options = false;
        else if (!options || a.size() < 2 || a[0] != '-')
            expected.push_back(a);
    }
    CliRequest request;
    if (!ParseCliArguments(static_cast<int>(argv.size()), argv.data(), request) &&
        request.texts != expected)
        Fail("the arguments are not taken one text each, in order");
    for (Action action : {Action::Find, Action::Touch})
        (void)CheckCliTexts(request, action);
    return 0;
}

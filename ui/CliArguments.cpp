#include "ui/CliArguments.h"

#include <cstring>
#include <functional>
#include <string_view>

namespace {

enum class Value { None, Optional, Required };

// One option: its short letter (or 0), its long name, whether it takes a value, and what it
// does to the request. Room is left for more of the same kind.
struct Option {
    char letter;
    const char* name;
    Value value;
    std::function<std::optional<UsageError>(CliRequest&, const std::optional<std::string>&)> apply;
};

std::optional<UsageError> None() {
    return std::nullopt;
}

// Sets a field to a value, ignoring any option value.
template <typename Field, typename T>
auto Set(Field CliRequest::*field, T value) {
    return [field, value](CliRequest& r, const std::optional<std::string>&) {
        r.*field = value;
        return None();
    };
}

std::optional<UsageError> SetColor(CliRequest& r, const std::optional<std::string>& when) {
    if (!when || *when == "always")
        r.color = ColorWhen::Always;
    else if (*when == "never")
        r.color = ColorWhen::Never;
    else if (*when == "auto")
        r.color = ColorWhen::Auto;
    else
        return UsageError{"unknown --color value '" + *when + "'", "use auto, always or never"};
    return None();
}

const std::vector<Option>& Options() {
    static const std::vector<Option> options = {
        {'i', "ignore-case", Value::None,
         Set(&CliRequest::caseSensitive, std::optional<bool>(false))},
        {0, "case-sensitive", Value::None,
         Set(&CliRequest::caseSensitive, std::optional<bool>(true))},
        {'w', "whole-words", Value::None, Set(&CliRequest::wholeWords, std::optional<bool>(true))},
        {0, "substrings", Value::None, Set(&CliRequest::wholeWords, std::optional<bool>(false))},
        {'b', "backup", Value::None, Set(&CliRequest::createBackups, std::optional<bool>(true))},
        {0, "no-backup", Value::None, Set(&CliRequest::createBackups, std::optional<bool>(false))},
        {0, "keep-dates", Value::None, Set(&CliRequest::keepDates, std::optional<bool>(true))},
        {0, "new-dates", Value::None, Set(&CliRequest::keepDates, std::optional<bool>(false))},
        {0, "binary", Value::None, Set(&CliRequest::binaryFiles, std::optional<bool>(true))},
        {0, "no-binary", Value::None, Set(&CliRequest::binaryFiles, std::optional<bool>(false))},
        {0, "find", Value::None,
         [](CliRequest& r, const std::optional<std::string>&) {
             r.action = Action::Find;
             r.touchTime.reset();
             return None();
         }},
        {0, "touch", Value::Optional,
         [](CliRequest& r, const std::optional<std::string>& time) {
             r.action = Action::Touch;
             r.touchTime = time;
             return None();
         }},
        {'n', "dry-run", Value::None, Set(&CliRequest::dryRun, true)},
        {0, "diff", Value::None, Set(&CliRequest::diff, true)},
        {0, "no-undo", Value::None, Set(&CliRequest::noUndo, true)},
        {0, "undo", Value::Optional,
         [](CliRequest& r, const std::optional<std::string>& id) {
             r.undo = id.value_or("");
             return None();
         }},
        {0, "runs", Value::None, Set(&CliRequest::runs, true)},
        {'l', "list", Value::None, Set(&CliRequest::list, true)},
        {'q', "quiet", Value::None, Set(&CliRequest::quiet, true)},
        {0, "no-store", Value::None, Set(&CliRequest::noStore, true)},
        {0, "color", Value::Optional, SetColor},
        {0, "colour", Value::Optional, SetColor},
        {'h', "help", Value::None, Set(&CliRequest::help, true)},
        {'V', "version", Value::None, Set(&CliRequest::version, true)},
    };
    return options;
}

const Option* ByLetter(char letter) {
    for (const Option& o : Options())
        if (o.letter == letter)
            return &o;
    return nullptr;
}

const Option* ByName(std::string_view name) {
    for (const Option& o : Options())
        if (name == o.name)
            return &o;
    return nullptr;
}

UsageError Unknown(const std::string& option) {
    return {"unknown option '" + option + "'", "scrivox --help lists the options"};
}

std::optional<UsageError> LongOption(std::string_view arg, CliRequest& out) {
    const size_t equals = arg.find('=');
    const std::string_view name =
        arg.substr(2, equals == std::string_view::npos ? equals : equals - 2);
    const Option* option = ByName(name);
    if (!option)
        return Unknown("--" + std::string(name));
    std::optional<std::string> value;
    if (equals != std::string_view::npos) {
        if (option->value == Value::None)
            return UsageError{"option '--" + std::string(name) + "' takes no value", ""};
        value = std::string(arg.substr(equals + 1));
    } else if (option->value == Value::Required) {
        return UsageError{"option '--" + std::string(name) + "' needs a value", ""};
    }
    return option->apply(out, value);
}

std::optional<UsageError> ShortOptions(std::string_view arg, CliRequest& out) {
    for (size_t i = 1; i < arg.size(); ++i) {
        const Option* option = ByLetter(arg[i]);
        if (!option)
            return Unknown(std::string("-") + arg[i]);
        if (option->value == Value::Required)
            return UsageError{"option '-" + std::string(1, arg[i]) + "' needs a value", ""};
        if (auto error = option->apply(out, std::nullopt))
            return error;
    }
    return std::nullopt;
}

bool IsSubfolderSwitch(std::string_view arg) {
    return arg.size() == 3 && arg[0] == '-' && (arg[1] == 'r' || arg[1] == 'R') &&
           (arg[2] == '+' || arg[2] == '-');
}

}  // namespace

std::optional<UsageError> ParseCliArguments(int argc, const char* const* argv, CliRequest& out) {
    bool options = true;
    for (int k = 0; k < argc; ++k) {
        const std::string_view arg(argv[k]);
        if (!options || arg.size() < 2 || arg[0] != '-') {
            out.texts.emplace_back(arg);  // "-" alone is a text, as it is to most tools
            continue;
        }
        std::optional<UsageError> error;
        if (arg == "--")
            options = false;
        else if (IsSubfolderSwitch(arg))
            out.subfolders = arg[2] == '+';
        else if (arg[1] == '-')
            error = LongOption(arg, out);
        else
            error = ShortOptions(arg, out);
        if (error)
            return error;
    }
    return std::nullopt;
}

std::optional<UsageError> CheckCliTexts(const CliRequest& request, Action action) {
    const std::vector<std::string>& texts = request.texts;
    if (request.undo || request.runs) {
        if (request.undo && request.runs)
            return UsageError{"--undo and --runs go alone", ""};
        if (!texts.empty())
            return UsageError{std::string(request.runs ? "--runs" : "--undo") +
                                  " takes no FOLDER, FILTER or texts",
                              "scrivox --runs lists the runs that can be undone"};
        return std::nullopt;
    }
    const size_t most = 4;
    const size_t least = action == Action::Touch ? 2 : 4;
    if (texts.size() > most)
        return UsageError{
            "too many texts (" + std::to_string(texts.size()) + "; FOLDER FILTER FIND REPLACE)",
            "quote the filter so that the shell does not expand it: '*.txt'"};
    if (texts.size() < least || texts.size() == 3) {
        static const char* const names[] = {"FOLDER", "FILTER", "FIND", "REPLACE"};
        std::string missing;
        for (size_t i = texts.size(); i < (texts.size() < least ? least : most); ++i)
            missing += std::string(missing.empty() ? "" : " and ") + names[i];
        return UsageError{"missing " + missing, "scrivox --help shows the usage"};
    }
    static const char* const what[] = {"the folder", "the filter", "the text to find"};
    for (size_t i = 0; i < texts.size() && i < 3; ++i)
        if (texts[i].empty())
            return UsageError{std::string(what[i]) + " is empty", ""};
    return std::nullopt;
}

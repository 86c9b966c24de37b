// Times the per-user store file with many values in one key, at the tree and through the key
// API in a session, as the command-line program uses it.
//
//   store_bench [--repeat N] [COUNT...]          (default: 3 runs of 40000 and 200000 values)
//
// Scenarios for each COUNT, each run on a fresh store in a temporary XDG_CONFIG_HOME:
//   parse         RegistryTree::Parse of the file's text
//   format        RegistryTree::Format of that tree
//   session read  the first call of a session reads the file; then every value is enumerated
//                 and read by name
//   session write every value set in an empty key, then Commit (the file is written and synced)
// Prints a Markdown table of the median and the slowest run.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/RegistryKey.h"
#include "framework/RegistryTree.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

const char kKeyPath[] = "Software\\Harrowfen\\ScrivoxBench";

std::string ValueName(int i) {
    return "Value" + std::to_string(i);
}

// One key holding `count` texts, in the file's form.
std::string StoreText(int count) {
    RegistryTree tree;
    bool created = false;
    RegistryTree::Key* key =
        tree.FindOrCreate(std::string("HKEY_CURRENT_USER\\") + kKeyPath, created);
    for (int i = 0; i < count; ++i)
        key->SetValue(ValueName(i), kRegString, "text number " + std::to_string(i) + '\0');
    return tree.Format();
}

bool WriteFile(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Reads every value in a session; false when one is missing.
bool SessionRead(int count) {
    RegistrySession session;
    RegistryKey key;
    if (!key.OpenExisting(RegistryKey(RegistryRoot::CurrentUser), kKeyPath))
        return false;
    uint32_t subkeys = 0;
    uint32_t values = 0;
    if (!key.QueryInfo(subkeys, values) || values != uint32_t(count))
        return false;
    std::string name;
    std::vector<char> data(64);
    for (uint32_t i = 0; i < values; ++i) {
        uint32_t type = 0;
        uint32_t size = 0;
        if (!key.EnumValue(i, name, type, size) || size > data.size())
            return false;
        if (!key.QueryValue(name, type, data.data(), size))
            return false;
    }
    return true;
}

bool SessionWrite(int count) {
    RegistrySession session;
    RegistryKey key;
    if (!key.OpenOrCreate(RegistryKey(RegistryRoot::CurrentUser), kKeyPath))
        return false;
    for (int i = 0; i < count; ++i) {
        const std::string text = "text number " + std::to_string(i);
        if (!key.SetValue(ValueName(i), kRegString, text.c_str(), uint32_t(text.size() + 1)))
            return false;
    }
    return session.Commit();
}

struct Row {
    std::string scenario;
    int count = 0;
    std::vector<double> times;
};

void Print(std::vector<Row>& rows, size_t fileBytes200k) {
    std::printf("| Scenario | Values | Runs | Median s | Max s |\n|---|---:|---:|---:|---:|\n");
    for (Row& r : rows) {
        std::sort(r.times.begin(), r.times.end());
        std::printf("| %s | %d | %zu | %.3f | %.3f |\n", r.scenario.c_str(), r.count,
                    r.times.size(), r.times[r.times.size() / 2], r.times.back());
    }
    if (fileBytes200k)
        std::printf("\nThe file with 200000 values is %.1f MB.\n", fileBytes200k / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 3;
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else
            counts.push_back(std::atoi(arg.c_str()));
    }
    if (counts.empty())
        counts = {40000, 200000};

    char pattern[] = "/tmp/store_bench.XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("store_bench: mkdtemp");
        return 1;
    }
    const fs::path home = pattern;
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    const std::string folder = (home / "scrivox").string();
    const std::string file = folder + "/user.reg";
    fs::create_directories(folder);

    std::vector<Row> rows;
    size_t bytes200k = 0;
    bool ok = true;
    for (int count : counts) {
        const std::string text = StoreText(count);
        if (count == 200000)
            bytes200k = text.size();
        Row parse{"parse", count, {}}, format{"format", count, {}};
        Row read{"session read", count, {}}, write{"session write", count, {}};
        for (int run = 0; run < repeat && ok; ++run) {
            Clock::time_point start = Clock::now();
            RegistryTree tree = RegistryTree::Parse(text);
            parse.times.push_back(Seconds(start));
            start = Clock::now();
            ok = tree.Format() == text;
            format.times.push_back(Seconds(start));

            ok = ok && WriteFile(file, text);
            start = Clock::now();
            ok = ok && SessionRead(count);
            read.times.push_back(Seconds(start));

            fs::remove(file);
            start = Clock::now();
            ok = ok && SessionWrite(count);
            write.times.push_back(Seconds(start));
            ok = ok && SessionRead(count);
        }
        if (!ok) {
            std::fprintf(stderr, "store_bench: the store lost values at %d\n", count);
            break;
        }
        for (Row* r : {&parse, &format, &read, &write})
            rows.push_back(std::move(*r));
    }
    fs::remove_all(home);
    if (!ok)
        return 1;
    Print(rows, bytes200k);
    return 0;
}

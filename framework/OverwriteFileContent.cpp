#include "framework/FileOperations.h"

#include <memory>

#include "framework/TFile.h"

bool OverwriteFileContent(const std::string& from, const std::string& to) {
    TFile in, out;
    if (!in.OpenRead(from) || !out.OpenTruncate(to))
        return false;
    constexpr size_t kBlock = 256 * 1024;
    std::unique_ptr<char[]> buffer(new char[kBlock]);
    for (;;) {
        long long n = in.Read(buffer.get(), kBlock);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (!out.WriteAll(buffer.get(), static_cast<size_t>(n)))
            return false;
    }
    return in.Close() && out.Close();
}

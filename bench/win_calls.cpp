// What each Windows file call that a run makes per file costs, on every file of a tree: the
// figures behind the Windows build's numbers (under Wine each call crosses into the Unix side,
// some of them into the Wine server too).
//
//   win_calls TREE [--repeat N]
//
// Prints a Markdown table: per call, the median over N passes of the time per file.

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "framework/win32/UniqueHandle.h"
#include "framework/win32/WidePath.h"

namespace {

struct Tree {
    std::vector<std::wstring> files;
    std::vector<std::wstring> folders;
};

void List(const std::wstring& folder, Tree& tree) {
    tree.folders.push_back(folder);
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find)
        return;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            List(folder + L"\\" + name, tree);
        else
            tree.files.push_back(folder + L"\\" + name);
    } while (::FindNextFileW(find.Get(), &data));
}

HANDLE OpenRead(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

struct Call {
    const char* name;
    bool perFolder;
    std::function<void(const std::wstring&)> run;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: win_calls TREE [--repeat N]\n");
        return 2;
    }
    int repeat = argc >= 4 && std::string(argv[2]) == "--repeat" ? std::max(1, std::atoi(argv[3])) : 5;
    std::wstring root = WidePath(argv[1]);
    while (!root.empty() && (root.back() == L'\\' || root.back() == L'/'))
        root.pop_back();
    Tree tree;
    List(root, tree);
    if (tree.files.empty()) {
        std::fprintf(stderr, "no files in %s\n", argv[1]);
        return 1;
    }

    static char buffer[4096];
    const Call calls[] = {
        {"CreateFileW (read) + CloseHandle", false,
         [](const std::wstring& f) { UniqueFile h(OpenRead(f)); }},
        {"  + first ReadFile of 4 KiB", false,
         [](const std::wstring& f) {
             UniqueFile h(OpenRead(f));
             DWORD got;
             (void)::ReadFile(h.Get(), buffer, sizeof buffer, &got, nullptr);
         }},
        {"  + GetFileInformationByHandle", false,
         [](const std::wstring& f) {
             UniqueFile h(OpenRead(f));
             BY_HANDLE_FILE_INFORMATION info;
             (void)::GetFileInformationByHandle(h.Get(), &info);
         }},
        {"  + basic, standard and internal queries (the stamp, Wine)", false,
         [](const std::wstring& f) {
             UniqueFile h(OpenRead(f));
             FILE_BASIC_INFO basic;
             FILE_STANDARD_INFO standard;
             IO_STATUS_BLOCK io;
             FILE_INTERNAL_INFORMATION internal;
             (void)::GetFileInformationByHandleEx(h.Get(), FileBasicInfo, &basic, sizeof basic);
             (void)::GetFileInformationByHandleEx(h.Get(), FileStandardInfo, &standard,
                                                  sizeof standard);
             (void)::NtQueryInformationFile(h.Get(), &io, &internal, sizeof internal,
                                            FileInternalInformation);
         }},
        {"CreateFileW (write, no sharing) + SetFileTime (Touch)", false,
         [](const std::wstring& f) {
             UniqueFile h(::CreateFileW(f.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
             FILETIME t;
             if (h && ::GetFileTime(h.Get(), nullptr, nullptr, &t))
                 (void)::SetFileTime(h.Get(), nullptr, nullptr, &t);  // the time it has
         }},
        {"Listing of a folder by handle (FileIdBothDirectoryInfo), per folder", true,
         [](const std::wstring& folder) {
             UniqueFile h(::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
             static LONGLONG buffer[64 * 1024 / sizeof(LONGLONG)];
             FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
             while (h && ::GetFileInformationByHandleEx(h.Get(), request, buffer, sizeof buffer))
                 request = FileIdBothDirectoryInfo;
         }},
    };

    std::printf("%zu files in %zu folders; %d passes each\n\n", tree.files.size(),
                tree.folders.size(), repeat);
    std::printf("| Call | Microseconds each (median) | Min |\n|---|---:|---:|\n");
    for (const Call& call : calls) {
        const auto& items = call.perFolder ? tree.folders : tree.files;
        std::vector<double> perItem;
        for (int r = 0; r < repeat; ++r) {
            auto start = std::chrono::steady_clock::now();
            for (const std::wstring& item : items)
                call.run(item);
            double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            perItem.push_back(s * 1e6 / double(items.size()));
        }
        std::sort(perItem.begin(), perItem.end());
        std::printf("| %s | %.1f | %.1f |\n", call.name, perItem[perItem.size() / 2], perItem[0]);
    }
    return 0;
}

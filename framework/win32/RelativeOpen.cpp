#include "framework/win32/RelativeOpen.h"

#include <winternl.h>

#include <cstddef>
#include <vector>

namespace {

// The system's error for a failed call, where Win32 callers look for it.
bool Failed(NTSTATUS status) {
    ::SetLastError(::RtlNtStatusToDosError(status));
    return false;
}

// As the system's headers for drivers declare it (the rename's is the same); the user-mode ones
// leave it out.
struct LinkInformation {
    BOOLEAN ReplaceIfExists;
    HANDLE RootDirectory;
    ULONG FileNameLength;
    WCHAR FileName[1];
};

}  // namespace

bool IsPlainName(const std::wstring& name) {
    return !name.empty() && name != L"." && name != L".." && name.size() < 32767 &&
           name.find_first_of(L"\\/:") == std::wstring::npos;
}

HANDLE OpenRelative(HANDLE folder,
                    const std::wstring& name,
                    ACCESS_MASK access,
                    ULONG share,
                    ULONG disposition,
                    ULONG options,
                    PSECURITY_DESCRIPTOR security,
                    bool* created) {
    if (!IsPlainName(name)) {
        ::SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    // Case-insensitive, as CreateFileW looks names up.
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, security);
    IO_STATUS_BLOCK io{};
    HANDLE h = nullptr;
    const NTSTATUS status = ::NtCreateFile(
        &h, access | SYNCHRONIZE, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
        disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (!NT_SUCCESS(status)) {
        Failed(status);
        return INVALID_HANDLE_VALUE;
    }
    if (created)
        *created = io.Information == FILE_CREATED;
    return h;
}

namespace {

// Gives the open file the name `name` in the open folder, as a further name or instead of its
// own, through its handle.
bool NameRelative(HANDLE file,
                  HANDLE folder,
                  const std::wstring& name,
                  bool replace,
                  FILE_INFORMATION_CLASS what) {
    if (!IsPlainName(name)) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const ULONG bytes = static_cast<ULONG>(name.size() * sizeof(wchar_t));
    std::vector<char> buffer(offsetof(LinkInformation, FileName) + bytes + sizeof(wchar_t));
    auto link = reinterpret_cast<LinkInformation*>(buffer.data());
    link->ReplaceIfExists = replace;
    link->RootDirectory = folder;
    link->FileNameLength = bytes;
    name.copy(link->FileName, name.size());
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        ::NtSetInformationFile(file, &io, link, static_cast<ULONG>(buffer.size()), what);
    return NT_SUCCESS(status) || Failed(status);
}

}  // namespace

bool LinkRelative(HANDLE file, HANDLE folder, const std::wstring& name) {
    return NameRelative(file, folder, name, false,
                        static_cast<FILE_INFORMATION_CLASS>(FileLinkInformation));
}

bool RenameRelative(HANDLE file, HANDLE folder, const std::wstring& name) {
    return NameRelative(file, folder, name, true,
                        static_cast<FILE_INFORMATION_CLASS>(FileRenameInformation));
}

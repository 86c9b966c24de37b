#include "framework/TFileNameIterator.h"

#include <windows.h>

#include "framework/FileAttributes.h"
#include "framework/PathSyntax.h"
#include "framework/TFolder.h"
#include "framework/win32/UniqueHandle.h"
#include "framework/win32/WidePath.h"

struct TFileNameIterator::Impl {
    TFolder* folder = nullptr;  // null for a search by path
    std::wstring pattern;
    UniqueFind find;
    WIN32_FIND_DATAW data{};
    std::string name;  // in the program's code page
    bool started = false;
    bool current = false;
};

TFileNameIterator::TFileNameIterator(const std::string& pattern) : impl_(new Impl) {
    impl_->pattern = WidePath(pattern);
}

TFileNameIterator::TFileNameIterator(TFolder& folder, const std::string& pattern)
    : impl_(new Impl) {
    Start(folder, pattern);
}

void TFileNameIterator::Start(TFolder& folder, const std::string& pattern) {
    std::string path = folder.Path();
    if (path.empty() || !IsPathSeparator(path.back()))
        path += kPathSeparator;
    impl_->pattern = WidePath(path + pattern);
    // Searches by path do not share the folder, but a newer one ends this one as on POSIX.
    folder.search_ = this;
    impl_->folder = &folder;
}

TFileNameIterator::~TFileNameIterator() {
    if (impl_->folder && impl_->folder->search_ == this)
        impl_->folder->search_ = nullptr;
}

bool TFileNameIterator::Next() {
    Impl& s = *impl_;
    if (s.folder && s.folder->search_ != this) {
        s.current = false;
        return false;
    }
    if (!s.started) {
        s.started = true;
        // Basic information skips the short names; large fetches read the folder in big steps.
        s.find = UniqueFind(::FindFirstFileExW(s.pattern.c_str(), FindExInfoBasic, &s.data,
                                               FindExSearchNameMatch, nullptr,
                                               FIND_FIRST_EX_LARGE_FETCH));
        s.current = static_cast<bool>(s.find);
    } else if (s.current) {
        s.current = ::FindNextFileW(s.find.Get(), &s.data) != 0;
    }
    if (s.current)
        s.name = Narrow(s.data.cFileName);
    return s.current;
}

const char* TFileNameIterator::Name() const {
    return impl_->current ? impl_->name.c_str() : "";
}

bool TFileNameIterator::IsDirectory() const {
    return impl_->current && (impl_->data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint32_t TFileNameIterator::Attributes() const {
    if (!impl_->current)
        return 0;
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                       FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_TEMPORARY;
    uint32_t attrs = impl_->data.dwFileAttributes & kept;
    if (impl_->data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
        attrs |= kAttrSpecial;
    return attrs;
}

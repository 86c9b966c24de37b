#include "ui/win32/BrowseForFolder.h"

#include <shlobj.h>

namespace {

const char kInstruction[] = "Select root folder";

// Selects and opens the starting folder once the dialog is up.
int CALLBACK SelectStartFolder(HWND dialog, UINT msg, LPARAM /*lParam*/, LPARAM data) {
    if (msg == BFFM_INITIALIZED)
        ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

// Frees an item list with the shell's allocator when it goes.
class ItemList {
public:
    ItemList(IMalloc* allocator, LPITEMIDLIST item) : allocator_(allocator), item_(item) {}
    ~ItemList() {
        if (item_)
            allocator_->Free(item_);
    }
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;
    LPITEMIDLIST Get() const { return item_; }

private:
    IMalloc* allocator_;
    LPITEMIDLIST item_;
};

}  // namespace

bool BrowseForFolder(HWND owner, std::string& path) {
    IMalloc* allocator = nullptr;
    if (FAILED(::SHGetMalloc(&allocator)) || !allocator)
        return false;
    bool picked = false;
    {
        LPITEMIDLIST drives = nullptr;
        if (SUCCEEDED(::SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, &drives)) && drives) {
            ItemList root(allocator, drives);
            // The starting folder is handed over whole; the display name, which the shell
            // limits to MAX_PATH, has a buffer of its own and is not used.
            const std::string start = path;
            char displayName[MAX_PATH] = {};
            BROWSEINFOA info{};
            info.hwndOwner = owner;
            info.pidlRoot = root.Get();
            info.pszDisplayName = displayName;
            info.lpszTitle = kInstruction;
            info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS;
            info.lpfn = SelectStartFolder;
            info.lParam = reinterpret_cast<LPARAM>(start.c_str());
            ItemList chosen(allocator, ::SHBrowseForFolderA(&info));
            if (chosen.Get()) {
                // A path that does not fit MAX_PATH makes the conversion fail: the result is
                // false rather than a shortened path.
                char folder[MAX_PATH] = {};
                if (::SHGetPathFromIDListA(chosen.Get(), folder)) {
                    path = folder;
                    picked = true;
                }
            }
        }
    }
    allocator->Release();
    return picked;
}

#pragma once

#include <cstdint>
#include <string>

#include "framework/TFileName.h"
#include "framework/TFolder.h"

// Where a handed-over file really is, as the journal records it: the folder that holds it, links
// resolved, and its name there. A folder is resolved once for all its files.
class RealPaths {
public:
    std::string Of(const TFileName& file) {
        const TFolder* holder = file.Holder();
        if (!holder)
            return file.FullPath();
        if (holder->Serial() != serial_) {
            serial_ = holder->Serial();
            if (!holder->RealPath(folder_))
                folder_.clear();
        }
        return folder_.empty() ? file.FullPath() : folder_ + file.NameInHolder();
    }

private:
    uint64_t serial_ = 0;
    std::string folder_;
};

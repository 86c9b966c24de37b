#include "settings/TRegKey.h"

TRegKey::TRegKey(RegistryRoot root, const std::string& path, Mode mode) : keyName_(path) {
    Open(RegistryKey(root), mode);
}

TRegKey::TRegKey(const TRegKey& parent, const std::string& path, Mode mode) : keyName_(path) {
    Open(parent.handle_, mode);
}

void TRegKey::Open(const RegistryKey& parent, Mode mode) {
    bool opened = mode == OpenOrCreate ? handle_.OpenOrCreate(parent, keyName_)
                                       : handle_.OpenExisting(parent, keyName_);
    if (opened && !handle_.QueryInfo(subkeyCount_, valueCount_))
        subkeyCount_ = valueCount_ = 0;
}

bool TRegKey::GetSubkeyName(uint32_t index, std::string& name) const {
    return handle_.EnumKey(index, name);
}

bool TRegKey::GetValue(uint32_t index, TRegValue& value) const {
    return handle_.EnumValue(index, value.Name, value.Type, value.DataSize);
}

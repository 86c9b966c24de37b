#pragma once

#include <cstdint>
#include <string>

// One value of an open key, as TRegKey::GetValue visits them.
struct TRegValue {
    std::string Name;
    uint32_t Type = 0;  // kRegString, kRegDword, ... (framework/RegistryKey.h)
    uint32_t DataSize = 0;
};

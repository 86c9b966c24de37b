#pragma once

#include <string>

#include "framework/posix/UniqueFd.h"

// The writers' lock on the per-user tree's file: an exclusive flock on "<file>.lock", held for
// as long as the object lives.
class RegistryLock {
public:
    [[nodiscard]] bool Acquire(const std::string& file);

private:
    UniqueFd fd_;
};

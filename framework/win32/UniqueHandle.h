#pragma once

#include <windows.h>

#include <utility>

// One owning handle type per close function; no copies, moves allowed. Both null and
// INVALID_HANDLE_VALUE mean "no handle", since the API returns one or the other on failure.
template <BOOL(WINAPI* Close)(HANDLE)>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : h_(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) {
            Reset();
            h_ = std::exchange(o.h_, nullptr);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ && h_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() { return std::exchange(h_, nullptr); }
    void Reset() {
        if (*this)
            Close(h_);
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

using UniqueFile = UniqueHandle<::CloseHandle>;
using UniqueFind = UniqueHandle<::FindClose>;

// Memory the API allocated for the caller to free with LocalFree: security descriptors, SID
// texts. No copies, moves allowed.
template <typename T>
class UniqueLocal {
public:
    UniqueLocal() = default;
    ~UniqueLocal() { Reset(); }
    UniqueLocal(UniqueLocal&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    UniqueLocal& operator=(UniqueLocal&& o) noexcept {
        if (this != &o) {
            Reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    UniqueLocal(const UniqueLocal&) = delete;
    UniqueLocal& operator=(const UniqueLocal&) = delete;

    T Get() const { return p_; }
    // For the API to fill; whatever was held is freed first.
    T* Out() {
        Reset();
        return &p_;
    }
    void Reset() {
        if (p_)
            ::LocalFree(reinterpret_cast<HLOCAL>(p_));
        p_ = nullptr;
    }

private:
    T p_ = nullptr;
};

#include "framework/SystemError.h"

#include <cerrno>
#include <cstring>

int LastSystemError() {
    return errno;
}

std::string SystemErrorText(int code) {
    char buffer[256];
    // The GNU strerror_r, which may return a text of its own instead of filling the buffer.
    return ::strerror_r(code, buffer, sizeof buffer);
}

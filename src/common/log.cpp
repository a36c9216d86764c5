#include "common/log.h"

#include <unistd.h>

#include <string>

namespace qz::log {

void line(std::string_view prefix, std::string_view message) {
    // One write per line so lines of different threads never interleave.
    std::string text;
    text.reserve(prefix.size() + message.size() + 1);
    text.append(prefix).append(message).push_back('\n');
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n <= 0) return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

}  // namespace qz::log

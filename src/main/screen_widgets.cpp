#include "main/screen_widgets.h"

#include <cstdio>

namespace qz {

std::string watched_clock(int64_t secs) {
    if (secs < 0) secs = 0;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld", static_cast<long long>(secs / 60),
                  static_cast<long long>(secs % 60));
    return buf;
}

}  // namespace qz

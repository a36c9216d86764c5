#include "player/clock_text.h"

#include <cstdio>

namespace qz {

std::string clock_string(int64_t secs) {
    const long long t = secs < 0 ? 0 : secs;
    char buf[48];
    if (t >= 3600) {
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", t / 3600, t % 3600 / 60, t % 60);
    } else {
        std::snprintf(buf, sizeof buf, "%02lld:%02lld", t / 60, t % 60);
    }
    return buf;
}

std::string delta_string(int64_t secs) {
    const long long d = secs < 0 ? 0 : secs;
    char buf[48];
    if (d < 60) {
        std::snprintf(buf, sizeof buf, "%llds", d);
    } else {
        std::snprintf(buf, sizeof buf, "%lldm%02llds", d / 60, d % 60);
    }
    return buf;
}

}  // namespace qz

#pragma once

#include <cstdint>

namespace qz {

enum class DeviceProfile { Brick, Standard };

struct ScreenSize {
    uint32_t width;
    uint32_t height;
};

constexpr ScreenSize profile_size(DeviceProfile p) {
    return p == DeviceProfile::Brick ? ScreenSize{1024, 768} : ScreenSize{1280, 720};
}

}  // namespace qz

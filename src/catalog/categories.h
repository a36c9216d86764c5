#pragma once

#include <array>

namespace qz {

// A shelf that always exists on the home screen, and where it is fetched from
// (appended to the catalog base URL).
struct Category {
    const char* key;
    const char* title;
    const char* path;
};

// In home-screen order; the keys are also the catalog cache's keys.
inline constexpr std::array<Category, 4> CATEGORIES = {{
    {"phim-le", "PHIM LẺ MỚI NHẤT", "/api/videos/home?category=phim-le"},
    {"phim-bo", "PHIM BỘ HOT NHẤT", "/api/videos/home?category=phim-bo"},
    {"hoat-hinh", "HOẠT HÌNH & ANIME", "/api/videos/home?category=hoat-hinh"},
    {"trending", "THỊNH HÀNH & CHIẾU RẠP", "/api/videos/home"},
}};

}  // namespace qz

#pragma once

#include <string>
#include <string_view>

namespace qz {

// Maps an absolute path of the device or its firmware ("/dev/fb0",
// "/mnt/SDCARD/...", "/tmp/...") to where it lives now: unchanged on the
// device, under $QZ_DEVICE_ROOT when that is set and not empty (tests, tools).
// This is the only place that knows about the prefix.
std::string device_path(std::string_view absolute_path);

// The device root in force, empty when none.
std::string device_root();

// Whether anything (file, directory, FIFO, device) exists at the mapped path.
bool device_path_exists(std::string_view absolute_path);

}  // namespace qz

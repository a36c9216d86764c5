#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/device_profile.h"

namespace qz {

// The firmware's model file, read whole; nullopt when it cannot be read.
std::optional<std::string> read_model_file();

// Decides the profile from the model file's bytes (nullopt when unreadable)
// and the raw TRIMUI_DEVICE value (nullptr when unset). The file wins whenever
// it holds valid UTF-8; the variable is only a fall-back.
DeviceProfile profile_from_sources(const std::optional<std::string>& model_file, const char* trimui_device);

// The profile of the device we run on (model file, then TRIMUI_DEVICE).
DeviceProfile detect_device_profile();

// Lower-cases text for the model test. ASCII letters, plus the Kelvin sign,
// whose lower case is the ASCII "k" and so can spell "brick".
std::string lower_model_text(std::string_view text);

}  // namespace qz

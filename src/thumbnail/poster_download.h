#pragma once

#include <cstddef>
#include <string>
#include <variant>

namespace qz {

// A poster body larger than this is abandoned: a thumbnail never needs it and
// the device cannot spare the memory four workers would take.
inline constexpr size_t MAX_POSTER_BYTES = 32u * 1024 * 1024;

inline constexpr const char* EMPTY_IMAGE_PAYLOAD = "Empty image payload";
inline constexpr const char* IMAGE_PAYLOAD_TOO_LARGE = "Image payload too large";

struct DownloadFailure {
    std::string text;  // "Curl error: {error}", "Empty image payload", ...
};

using DownloadResult = std::variant<std::string, DownloadFailure>;

// Runs curl with the poster argument set and collects its standard output,
// stopping curl as soon as more than max_bytes arrived.
DownloadResult download_poster(const std::string& url, size_t max_bytes = MAX_POSTER_BYTES);

}  // namespace qz

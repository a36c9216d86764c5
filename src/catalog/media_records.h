#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qz {

// A JSON value kept as its compact JSON text ("2024", "\"2024\"", "2023.0"):
// the service sends "year" as a number or a string, and the cache writes it
// back exactly as received.
struct RawJson {
    std::string text;
    bool operator==(const RawJson&) const = default;
};

// One title on a shelf or in search results. Fields in the order the cache
// file writes them.
struct MediaItem {
    std::string id;
    std::string title;
    std::string slug;
    std::optional<std::string> thumbnail;
    std::optional<std::string> backdrop;
    std::optional<RawJson> year;
    std::optional<std::string> quality;
    std::optional<std::string> time;
    std::optional<std::string> lang;
    std::optional<std::string> category;
    bool operator==(const MediaItem&) const = default;
};

struct EpisodeItem {
    std::string title;
    std::string url;
    std::optional<std::string> server_name;  // JSON key "serverName"
    std::optional<uint32_t> number;
    bool operator==(const EpisodeItem&) const = default;
};

// The answer of the detail request.
struct MediaDetail {
    std::string id;
    std::string title;
    std::string slug;
    std::optional<std::string> thumbnail;
    std::optional<std::string> backdrop;
    std::optional<std::string> description;
    std::optional<RawJson> year;
    std::optional<std::string> quality;
    std::optional<std::string> time;
    std::optional<std::string> lang;
    std::optional<std::vector<EpisodeItem>> episodes;
    bool operator==(const MediaDetail&) const = default;
};

// The answer of the stream extraction request.
struct ExtractResp {
    std::string url;
    bool operator==(const ExtractResp&) const = default;
};

// The numeric year used to order items newest first: a non-negative JSON
// integer cut to 32 bits, or a trimmed string of decimal digits (optional
// "+") up to 4294967295; 0 for anything else, absent or unreadable.
uint32_t year_key(const std::optional<RawJson>& year);

// Stable sort by year_key, highest first: equal years keep the service's
// order, items without a readable year end up last.
void sort_newest_first(std::vector<MediaItem>& items);

// The year as the cards show it: its JSON text with every '"' removed.
std::string year_badge_text(const RawJson& year);

}  // namespace qz

#include "catalog/media_records.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>

#include "common/utf8.h"

namespace qz {

namespace {

uint32_t year_from_string(const std::string& raw) {
    std::string s = utf8::trim(raw);
    size_t i = 0;
    if (i < s.size() && s[i] == '+') ++i;
    if (i == s.size()) return 0;
    uint64_t value = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return 0;
        value = value * 10 + static_cast<uint64_t>(s[i] - '0');
        if (value > 0xFFFFFFFFull) return 0;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

uint32_t year_key(const std::optional<RawJson>& year) {
    if (!year) return 0;
    auto value = nlohmann::json::parse(year->text, nullptr, false);
    // Only an integer literal counts: 2023.0 and -1 are not years.
    if (value.is_number_unsigned()) return static_cast<uint32_t>(value.get<uint64_t>() & 0xFFFFFFFFull);
    if (value.is_string()) return year_from_string(value.get_ref<const std::string&>());
    return 0;
}

void sort_newest_first(std::vector<MediaItem>& items) {
    if (items.size() < 2) return;
    // Keys once per item, not once per comparison.
    std::vector<std::pair<uint32_t, size_t>> order;
    order.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) order.emplace_back(year_key(items[i].year), i);
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<MediaItem> sorted;
    sorted.reserve(items.size());
    for (const auto& [key, index] : order) sorted.push_back(std::move(items[index]));
    items = std::move(sorted);
}

std::string year_badge_text(const RawJson& year) {
    std::string out;
    out.reserve(year.text.size());
    for (char c : year.text) {
        if (c != '"') out.push_back(c);
    }
    return out;
}

}  // namespace qz

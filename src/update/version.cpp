#include "update/version.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace qz {

namespace {

// An optional "+" and one or more decimal digits, at most 4294967295.
std::optional<uint32_t> parse_piece(std::string_view piece) {
    if (!piece.empty() && piece.front() == '+') piece.remove_prefix(1);
    if (piece.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : piece) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > UINT32_MAX) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::vector<uint32_t> version_numbers(std::string_view text) {
    std::vector<uint32_t> numbers;
    size_t start = 0;
    for (;;) {
        size_t dot = text.find('.', start);
        auto piece = text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (auto n = parse_piece(piece)) numbers.push_back(*n);
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return numbers;
}

}  // namespace

bool is_newer_version(std::string_view remote, std::string_view current) {
    while (!remote.empty() && remote.front() == 'v') remote.remove_prefix(1);
    const auto r = version_numbers(remote);
    const auto c = version_numbers(current);
    // Lexicographic order is exactly "first unequal pair decides, else longer wins".
    return c < r;
}

}  // namespace qz

#pragma once

#include <cstddef>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace qz::strict_json {

// Where a value sits in a document: object keys and array indices (decimal)
// from the top.
using Path = std::vector<std::string>;

struct Document {
    nlohmann::json root;
    // Keys that occurred more than once in one object, with the offset just
    // after the repeated key, for objects at most two levels deep (where the
    // records sit). The value of the last occurrence is the one kept.
    std::map<Path, std::vector<std::pair<std::string, size_t>>> duplicates;
};

// Exactly one JSON value, white space around it allowed, nothing else (no
// byte order mark, no second value). The error is the reader's description
// with line and column.
std::variant<Document, std::string> parse(std::string_view text);

// Offset just after the value at path (after the closing bracket for
// containers), found by reading the text again; text.size() when not found.
size_t end_offset(std::string_view text, const Path& path);

// "line L column C" of the byte before offset (1-based).
std::string position_text(std::string_view text, size_t offset);

}  // namespace qz::strict_json

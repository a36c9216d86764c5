#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qz::utf8 {

// Decodes the code point at text[pos] and advances pos. Malformed bytes give
// U+FFFD and advance by one, so drawing never stalls on bad input.
char32_t next(std::string_view text, size_t& pos);

bool is_valid(std::string_view text);

// The text with every malformed sequence replaced by U+FFFD (bytes from a
// program or server that promised UTF-8 and may not keep the promise).
std::string make_valid(std::string_view bytes);

// Number of code points (Unicode scalar values), never bytes.
size_t length(std::string_view text);

// The first n code points.
std::string prefix(std::string_view text, size_t n);

// A text of n or more characters becomes its first m characters and "...".
std::string shorten(std::string_view text, size_t n, size_t m);

void append(std::string& out, char32_t cp);

bool is_space(char32_t cp);

// ASCII-only lower-casing is not enough for device names; this lowers ASCII
// and leaves other characters alone, which is all the callers compare against.
std::string to_lower_ascii(std::string_view text);

std::string trim(std::string_view text);

}  // namespace qz::utf8

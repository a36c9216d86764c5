#include "common/utf8.h"

namespace qz::utf8 {

char32_t next(std::string_view s, size_t& pos) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char b0 = byte(pos);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + extra >= s.size()) {
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i <= extra; ++i) {
        unsigned char b = byte(pos + i);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return 0xFFFD;
    }
    pos += extra + 1;
    return cp;
}

bool is_valid(std::string_view s) {
    size_t pos = 0;
    while (pos < s.size()) {
        size_t before = pos;
        char32_t cp = next(s, pos);
        // A real U+FFFD is three bytes; the error marker advances by one.
        if (cp == 0xFFFD && pos - before == 1) return false;
    }
    return true;
}

size_t length(std::string_view s) {
    size_t pos = 0, n = 0;
    while (pos < s.size()) {
        next(s, pos);
        ++n;
    }
    return n;
}

std::string prefix(std::string_view s, size_t n) {
    size_t pos = 0;
    for (size_t i = 0; i < n && pos < s.size(); ++i) next(s, pos);
    return std::string(s.substr(0, pos));
}

std::string shorten(std::string_view s, size_t n, size_t m) {
    if (length(s) < n) return std::string(s);
    return prefix(s, m) + "...";
}

void append(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string make_valid(std::string_view bytes) {
    if (is_valid(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size());
    size_t pos = 0;
    while (pos < bytes.size()) append(out, next(bytes, pos));
    return out;
}

bool is_space(char32_t c) {
    // Unicode White_Space property.
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::string to_lower_ascii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string trim(std::string_view s) {
    // Trims Unicode white space at both ends.
    size_t start = 0;
    while (start < s.size()) {
        size_t p = start;
        if (!is_space(next(s, p))) break;
        start = p;
    }
    size_t end = start;
    size_t pos = start;
    while (pos < s.size()) {
        char32_t cp = next(s, pos);
        if (!is_space(cp)) end = pos;
    }
    return std::string(s.substr(start, end - start));
}

}  // namespace qz::utf8

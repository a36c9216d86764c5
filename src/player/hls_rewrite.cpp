#include "player/hls_rewrite.h"

#include <algorithm>
#include <cstddef>

#include "common/utf8.h"

namespace qz {

namespace {

constexpr std::string_view URI_ATTRIBUTE = "URI=\"";
constexpr std::string_view SCHEME_SEPARATOR = "://";

bool is_unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

// Only real digits count: a sign or a space after "%" is not an escape.
std::optional<unsigned> hex_value(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return std::nullopt;
}

// Where the host starts, or npos for a URL without "://".
size_t authority_start(std::string_view url) {
    const size_t sep = url.find(SCHEME_SEPARATOR);
    return sep == std::string_view::npos ? sep : sep + SCHEME_SEPARATOR.size();
}

// A tag line with its first URI="..." attribute pointing at the proxy. Only
// the first one: later attributes are copied unchanged.
std::string rewrite_tag_line(std::string_view line, std::string_view playlist_url, uint16_t port) {
    const size_t attr = line.find(URI_ATTRIBUTE);
    if (attr == std::string_view::npos) return std::string(line);
    const size_t value_start = attr + URI_ATTRIBUTE.size();
    const size_t value_end = line.find('"', value_start);
    if (value_end == std::string_view::npos) return std::string(line);
    const std::string_view value = line.substr(value_start, value_end - value_start);
    const std::string target =
        value.empty() ? playlist_base(playlist_url) : resolve_playlist_reference(value, playlist_url);
    std::string out(line.substr(0, value_start));
    out += proxied_reference(target, port);
    out += line.substr(value_end);
    return out;
}

}  // namespace

std::string percent_encode(std::string_view bytes) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (is_unreserved(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(HEX[c >> 4]);
            out.push_back(HEX[c & 0x0F]);
        }
    }
    return out;
}

std::string percent_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const std::optional<unsigned> hi = hex_value(text[i + 1]);
            const std::optional<unsigned> lo = hex_value(text[i + 2]);
            if (hi && lo) {
                out.push_back(static_cast<char>((*hi << 4) | *lo));
                i += 3;
                continue;
            }
        }
        out.push_back(text[i]);
        ++i;
    }
    return out;
}

std::optional<std::string> decode_segment_url(std::string_view path) {
    if (!path.starts_with(PROXY_SEGMENT_PREFIX)) return std::nullopt;
    return utf8::make_valid(percent_decode(path.substr(PROXY_SEGMENT_PREFIX.size())));
}

std::string proxied_reference(std::string_view absolute_url, uint16_t port) {
    std::string out = "http://";
    out += PROXY_HOST;
    out += ':';
    out += std::to_string(port);
    out += PROXY_SEGMENT_PREFIX;
    out += percent_encode(absolute_url);
    return out;
}

std::vector<std::string> playlist_lines(std::string_view playlist) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= playlist.size()) {
        size_t end = playlist.find('\n', start);
        if (end == std::string_view::npos) end = playlist.size();
        std::string_view raw = playlist.substr(start, end - start);
        start = end + 1;
        if (raw.ends_with('\r')) raw.remove_suffix(1);
        std::string line = utf8::trim(raw);
        if (!line.empty()) lines.push_back(std::move(line));
    }
    return lines;
}

std::string_view without_query(std::string_view url) { return url.substr(0, std::min(url.find('?'), url.find('#'))); }

std::string playlist_base(std::string_view playlist_url) {
    const std::string_view path_part = without_query(playlist_url);
    const size_t slash = path_part.rfind('/');
    if (slash == std::string_view::npos) return std::string(playlist_url);
    const size_t host = authority_start(path_part);
    // "http://host" has no path: its last "/" belongs to "://", and the
    // directory is the root, not the bare scheme.
    if (host != std::string_view::npos && slash < host) return std::string(path_part) + '/';
    return std::string(path_part.substr(0, slash + 1));
}

std::string_view playlist_origin(std::string_view playlist_url) {
    const std::string_view path_part = without_query(playlist_url);
    const size_t host = authority_start(path_part);
    if (host == std::string_view::npos) return path_part;
    return path_part.substr(0, path_part.find('/', host));
}

std::string resolve_playlist_reference(std::string_view ref, std::string_view playlist_url) {
    if (ref.starts_with("http://") || ref.starts_with("https://")) return std::string(ref);
    std::string out = ref.starts_with('/') ? std::string(playlist_origin(playlist_url)) : playlist_base(playlist_url);
    out += ref;
    return out;
}

std::string rewrite_proxy_playlist(std::string_view playlist, std::string_view playlist_url, uint16_t port) {
    std::string out;
    out.reserve(playlist.size() * 2);
    for (const std::string& line : playlist_lines(playlist)) {
        if (line.starts_with('#')) {
            out += rewrite_tag_line(line, playlist_url, port);
        } else {
            out += proxied_reference(resolve_playlist_reference(line, playlist_url), port);
        }
        out.push_back('\n');
    }
    return out;
}

}  // namespace qz

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

// The pure half of the local HLS proxy: how upstream URLs travel inside the
// proxy's own "/segment?url=" references, and how a fetched playlist is
// rewritten so that every segment, key and nested playlist comes back
// through the proxy.

inline constexpr std::string_view PROXY_HOST = "127.0.0.1";
inline constexpr std::string_view PROXY_PLAYLIST_PATH = "/stream.m3u8";
inline constexpr std::string_view PROXY_SEGMENT_PREFIX = "/segment?url=";

// Every byte outside A-Z, a-z, 0-9, "-", ".", "_" and "~" becomes "%XX" with
// upper-case hex digits.
std::string percent_encode(std::string_view bytes);

// "%XX" with two hex digits (either case) becomes that byte; any other "%",
// a trailing "%2" included, stays as it is. "+" stays "+". The result is raw
// bytes, not necessarily UTF-8.
std::string percent_decode(std::string_view text);

// The upstream URL carried by a request path beginning with "/segment?url=",
// decoded and made valid UTF-8. Nothing for any other path.
std::optional<std::string> decode_segment_url(std::string_view path);

// "http://127.0.0.1:{port}/segment?url={encoded}" for an absolute URL.
std::string proxied_reference(std::string_view absolute_url, uint16_t port);

// The lines of a playlist as both rewrites read them: split at "\n", one
// trailing "\r" dropped, surrounding white space trimmed, blank lines left out.
std::vector<std::string> playlist_lines(std::string_view playlist);

// The URL without its query and fragment: a "/" inside a signed token must
// not move the directory or host that references are resolved against.
std::string_view without_query(std::string_view url);

// The URL of the playlist up to and including the last "/" of its path
// ("http://host/" for a bare host); the whole URL when it has no "/".
std::string playlist_base(std::string_view playlist_url);

// The scheme and host of the playlist's URL, up to the first "/" after
// "://"; the whole URL without its query when there is none.
std::string_view playlist_origin(std::string_view playlist_url);

// A playlist reference made absolute: "http(s)://" URLs as they are, "/..."
// against the origin, anything else against the base.
std::string resolve_playlist_reference(std::string_view ref, std::string_view playlist_url);

// The playlist with every reference pointing back at the proxy on `port`:
// URI lines become proxied references, the first URI="..." attribute of a
// tag becomes one (an empty one gives the base), other tags are copied.
// Lines are trimmed, blank ones dropped, and each ends with "\n".
std::string rewrite_proxy_playlist(std::string_view playlist, std::string_view playlist_url, uint16_t port);

}  // namespace qz

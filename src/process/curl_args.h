#pragma once

#include <string>
#include <vector>

namespace qz {

inline constexpr const char* USER_AGENT_FULL = "Mozilla/5.0 (Linux; Android 10; TrimUI) AppleWebKit/537.36";
inline constexpr const char* USER_AGENT_SHORT = "Mozilla/5.0";
inline constexpr const char* UPDATE_FALLBACK_MANIFEST_URL = "http://127.0.0.1:4549/ota/qz-nuvalto.json";

// The one table of curl argument sets; each returns the arguments in the
// order curl gets them (the program name not included).
std::vector<std::string> curl_args_catalog(const std::string& url);
std::vector<std::string> curl_args_poster(const std::string& url);
std::vector<std::string> curl_args_manifest_primary(const std::string& url);
std::vector<std::string> curl_args_manifest_fallback();
// output_path is the device-mapped download path.
std::vector<std::string> curl_args_update_download(const std::string& url, const std::string& output_path);
std::vector<std::string> curl_args_extract(const std::string& base_url, const std::string& body);
std::vector<std::string> curl_args_stream_playlist(const std::string& url);
std::vector<std::string> curl_args_proxy_relay(const std::string& url);
std::vector<std::string> curl_args_proxy_playlist(const std::string& url);
std::vector<std::string> curl_args_proxy_segment(const std::string& url);

// Only http:// and https:// URLs are ever handed to curl: anything else (a
// value starting with "-" would be read as an option) fails like a curl that
// exited non-zero.
bool is_fetchable_url(const std::string& url);

}  // namespace qz

#include "process/curl_args.h"

namespace qz {

std::vector<std::string> curl_args_catalog(const std::string& url) {
    return {"-4", "-k", "-s", "-L", "--connect-timeout", "6", "--max-time", "12", "-A", USER_AGENT_FULL, url};
}

std::vector<std::string> curl_args_poster(const std::string& url) {
    return {"-4", "-k", "-s", "-f", "-L", "--connect-timeout", "5", "--max-time", "10", "-A", USER_AGENT_FULL, url};
}

std::vector<std::string> curl_args_manifest_primary(const std::string& url) {
    return {"-4", "-k", "-s", "-L", "--connect-timeout", "5", "--max-time", "10", url};
}

std::vector<std::string> curl_args_manifest_fallback() {
    return {"-4", "-k", "-s", "-L", "--connect-timeout", "3", "--max-time", "6", UPDATE_FALLBACK_MANIFEST_URL};
}

std::vector<std::string> curl_args_update_download(const std::string& url, const std::string& output_path) {
    return {"-4", "-k", "-s", "-L", "--connect-timeout", "10", "--max-time", "120", "-o", output_path, url};
}

std::vector<std::string> curl_args_extract(const std::string& base_url, const std::string& body) {
    return {"-k",
            "-s",
            "-X",
            "POST",
            base_url + "/api/extract",
            "-H",
            "Content-Type: application/json",
            "-d",
            body,
            "--connect-timeout",
            "4",
            "--max-time",
            "8"};
}

std::vector<std::string> curl_args_stream_playlist(const std::string& url) {
    return {"-k", "-s", "-L", "--connect-timeout", "5", "--max-time", "10", url};
}

std::vector<std::string> curl_args_proxy_relay(const std::string& url) {
    return {"-k", "-s", "-N", "-L", "--connect-timeout", "8", "-A", USER_AGENT_SHORT, url};
}

std::vector<std::string> curl_args_proxy_playlist(const std::string& url) {
    return {"-k", "-s", "-L", "--connect-timeout", "6", "--max-time", "12", "-A", USER_AGENT_SHORT, url};
}

std::vector<std::string> curl_args_proxy_segment(const std::string& url) {
    return {"-k", "-s", "-N", "-L", "--connect-timeout", "6", "-A", USER_AGENT_SHORT, url};
}

bool is_fetchable_url(const std::string& url) {
    return url.starts_with("http://") || url.starts_with("https://");
}

}  // namespace qz

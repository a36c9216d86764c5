#include "process/curl_args.h"

#include <gtest/gtest.h>

namespace qz {
namespace {

using Args = std::vector<std::string>;

const std::string UA = "Mozilla/5.0 (Linux; Android 10; TrimUI) AppleWebKit/537.36";
const std::string U = "https://h.example/p?q=1";

struct ArgCase {
    const char* name;
    Args actual;
    Args expected;
};

void PrintTo(const ArgCase& c, std::ostream* os) { *os << c.name; }

class CurlArgs : public ::testing::TestWithParam<ArgCase> {};

TEST_P(CurlArgs, ExactOrder) { EXPECT_EQ(GetParam().actual, GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Requests, CurlArgs,
    ::testing::Values(
        ArgCase{"Catalog", curl_args_catalog(U),
                {"-4", "-k", "-s", "-L", "--connect-timeout", "6", "--max-time", "12", "-A", UA, U}},
        ArgCase{"Poster", curl_args_poster(U),
                {"-4", "-k", "-s", "-f", "-L", "--connect-timeout", "5", "--max-time", "10", "-A", UA, U}},
        ArgCase{"ManifestPrimary", curl_args_manifest_primary(U),
                {"-4", "-k", "-s", "-L", "--connect-timeout", "5", "--max-time", "10", U}},
        ArgCase{"ManifestFallback", curl_args_manifest_fallback(),
                {"-4", "-k", "-s", "-L", "--connect-timeout", "3", "--max-time", "6",
                 "http://127.0.0.1:4549/ota/qz-nuvalto.json"}},
        ArgCase{"UpdateDownload", curl_args_update_download(U, "/root/tmp/qz-nuvalto-update.zip"),
                {"-4", "-k", "-s", "-L", "--connect-timeout", "10", "--max-time", "120", "-o",
                 "/root/tmp/qz-nuvalto-update.zip", U}},
        ArgCase{"Extract", curl_args_extract("http://b.example", "{\"url\":\"https://s/x y\"}"),
                {"-k", "-s", "-X", "POST", "http://b.example/api/extract", "-H", "Content-Type: application/json", "-d",
                 "{\"url\":\"https://s/x y\"}", "--connect-timeout", "4", "--max-time", "8"}},
        ArgCase{"StreamPlaylist", curl_args_stream_playlist(U),
                {"-k", "-s", "-L", "--connect-timeout", "5", "--max-time", "10", U}},
        ArgCase{"ProxyRelay", curl_args_proxy_relay(U),
                {"-k", "-s", "-N", "-L", "--connect-timeout", "8", "-A", "Mozilla/5.0", U}},
        ArgCase{"ProxyPlaylist", curl_args_proxy_playlist(U),
                {"-k", "-s", "-L", "--connect-timeout", "6", "--max-time", "12", "-A", "Mozilla/5.0", U}},
        ArgCase{"ProxySegment", curl_args_proxy_segment(U),
                {"-k", "-s", "-N", "-L", "--connect-timeout", "6", "-A", "Mozilla/5.0", U}}),
    [](const auto& info) { return std::string(info.param.name); });

struct UrlCase {
    const char* url;
    bool fetchable;
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.url; }

class FetchableUrl : public ::testing::TestWithParam<UrlCase> {};

TEST_P(FetchableUrl, OnlyHttpAndHttps) { EXPECT_EQ(is_fetchable_url(GetParam().url), GetParam().fetchable) << GetParam().url; }

INSTANTIATE_TEST_SUITE_P(Urls, FetchableUrl,
                         ::testing::Values(UrlCase{"http://a/b", true}, UrlCase{"https://a/b", true},
                                           UrlCase{"http://", true}, UrlCase{"", false}, UrlCase{"http:/a", false},
                                           UrlCase{"ftp://a/b", false}, UrlCase{"file:///etc/passwd", false},
                                           UrlCase{"-o/tmp/x", false}, UrlCase{"--config=/x", false},
                                           UrlCase{" http://a", false}, UrlCase{"HTTP://a", false},
                                           UrlCase{"httpx://a", false}));

}  // namespace
}  // namespace qz

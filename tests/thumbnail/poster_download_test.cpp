// Poster downloads with the real curl against a loopback server.
#include <gtest/gtest.h>

#include <string>

#include "support/image_fixtures.h"
#include "support/loopback_server.h"
#include "support/env_guard.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "thumbnail/poster_download.h"

namespace qz {
namespace {

std::string failure_text(const DownloadResult& r) {
    const auto* f = std::get_if<DownloadFailure>(&r);
    return f ? f->text : "<success>";
}

class PosterDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::have_programs({"curl", "python3"})) GTEST_SKIP() << "curl or python3 missing";
        ASSERT_TRUE(server.running());
    }
    test::StaticServer server;
};

TEST_F(PosterDownloadTest, ReturnsTheBodyByteForByte) {
    const std::string body = test::rgba_png(test::noise_image(31, 17, true));
    server.put("poster.png", body);
    DownloadResult r = download_poster(server.url("/poster.png"));
    ASSERT_TRUE(std::holds_alternative<std::string>(r)) << failure_text(r);
    EXPECT_EQ(std::get<std::string>(r), body);
}

// Everything that is not a body counts as one failure; the exit code is not told apart.
TEST_F(PosterDownloadTest, HttpErrorAndEmptyBodyAreEmptyPayload) {
    server.put("empty.png", "");
    EXPECT_EQ(failure_text(download_poster(server.url("/missing.png"))), EMPTY_IMAGE_PAYLOAD);
    EXPECT_EQ(failure_text(download_poster(server.url("/empty.png"))), EMPTY_IMAGE_PAYLOAD);
    EXPECT_EQ(failure_text(download_poster("http://127.0.0.1:1/nothing-listens.png")), EMPTY_IMAGE_PAYLOAD);
}

struct LimitCase {
    const char* name;
    size_t body_bytes;
    size_t limit;
    bool ok;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class PosterSizeLimitTest : public PosterDownloadTest, public ::testing::WithParamInterface<LimitCase> {};

// The limit is enforced while reading, so the body is never held beyond it.
TEST_P(PosterSizeLimitTest, AbandonsBodiesOverTheLimit) {
    const LimitCase& c = GetParam();
    const std::string url = server.url("/stream?bytes=" + std::to_string(c.body_bytes));
    DownloadResult r = download_poster(url, c.limit);
    if (c.ok) {
        ASSERT_TRUE(std::holds_alternative<std::string>(r)) << failure_text(r);
        EXPECT_EQ(std::get<std::string>(r).size(), c.body_bytes);
    } else {
        EXPECT_EQ(failure_text(r), IMAGE_PAYLOAD_TOO_LARGE);
    }
}

INSTANTIATE_TEST_SUITE_P(Bounds, PosterSizeLimitTest,
                         ::testing::Values(LimitCase{"exactly_at_limit", 100000, 100000, true},
                                           LimitCase{"one_byte_over", 100001, 100000, false},
                                           LimitCase{"default_limit_40_mib", 40u << 20, MAX_POSTER_BYTES, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PosterDownloadProgram, MissingCurlIsCurlError) {
    test::TempDir empty_bin;
    test::EnvGuard path("PATH", empty_bin.path());
    const std::string text = failure_text(download_poster("http://127.0.0.1:1/p.png"));
    EXPECT_EQ(text.rfind("Curl error: ", 0), 0u) << text;
    EXPECT_GT(text.size(), std::string("Curl error: ").size());
}

// The poster argument set, and no curl at all for what is not an http(s) URL.
TEST(PosterDownloadProgram, RunsCurlWithThePosterArgumentsOnlyForHttpUrls) {
    test::TempDir bin;
    test::write_script(bin / "curl", "printf '%s\\n' \"$@\" >> '" + (bin / "calls") + "'\nprintf body\n");
    test::EnvGuard path("PATH", test::path_with_prefix(bin.path()));

    DownloadResult r = download_poster("https://img.example/p.jpg?x=1");
    ASSERT_TRUE(std::holds_alternative<std::string>(r)) << failure_text(r);
    EXPECT_EQ(std::get<std::string>(r), "body");
    const std::string first_call = test::read_file(bin / "calls");
    EXPECT_EQ(first_call,
              "-4\n-k\n-s\n-f\n-L\n--connect-timeout\n5\n--max-time\n10\n-A\n"
              "Mozilla/5.0 (Linux; Android 10; TrimUI) AppleWebKit/537.36\nhttps://img.example/p.jpg?x=1\n");

    for (const char* url : {"file:///etc/passwd", "-o/tmp/x", ""}) {
        EXPECT_EQ(failure_text(download_poster(url)), EMPTY_IMAGE_PAYLOAD) << url;
    }
    EXPECT_EQ(test::read_file(bin / "calls"), first_call) << "curl ran again";
}

}  // namespace
}  // namespace qz

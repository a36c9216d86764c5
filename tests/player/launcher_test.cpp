// ctest-labels: host
#include "player/launcher.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/env_guard.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "support/stderr_capture.h"
#include "support/loopback_server.h"
#include "support/play_fakes.h"

namespace qz {
namespace {

const LaunchOptions OFFLINE{"http://127.0.0.1:9", "signed.example", "signed"};
const std::string DETECTED = "[Player] SIGNED stream detected, checking signed URL extraction...\n";

// --- Which URLs go to the extraction endpoint, and the scheme rule ----------

struct UrlCase {
    const char* name;
    const char* url;
    bool extract;
    const char* played;  // after the scheme rule
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.name; }

class UrlRules : public ::testing::TestWithParam<UrlCase> {};

TEST_P(UrlRules, ExtractionAndScheme) {
    const UrlCase& c = GetParam();
    EXPECT_EQ(needs_signed_extraction(c.url, OFFLINE), c.extract);
    EXPECT_EQ(downgrade_scheme(c.url, OFFLINE.signed_stream_marker), c.played);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, UrlRules,
    ::testing::Values(
        UrlCase{"HttpsDowngraded", "https://cdn.example/a/index.m3u8", false, "http://cdn.example/a/index.m3u8"},
        UrlCase{"LaterHttpsLeftAlone", "https://cdn.example/p?next=https://b.example/x", false,
                "http://cdn.example/p?next=https://b.example/x"},
        UrlCase{"JustTheScheme", "https://", false, "http://"},
        UrlCase{"PlainHttpUnchanged", "http://cdn.example/a?u=https://b", false, "http://cdn.example/a?u=https://b"},
        UrlCase{"HttpsNotAtStart", "hls+https://cdn.example/a", false, "hls+https://cdn.example/a"},
        UrlCase{"UpperCaseSchemeUnchanged", "HTTPS://cdn.example/a", false, "HTTPS://cdn.example/a"},
        UrlCase{"SignedHostNeedsSignature", "https://signed.example/v/1", true, "https://signed.example/v/1"},
        UrlCase{"AlreadySigned", "https://signed.example/v/1?exp=9&signature=ab", false,
                "https://signed.example/v/1?exp=9&signature=ab"},
        UrlCase{"MarkerElsewhereKeepsHttps", "https://cdn.example/signed/a.m3u8", false,
                "https://cdn.example/signed/a.m3u8"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UrlRules, EmptyHostSendsNothingToExtraction) {
    EXPECT_FALSE(needs_signed_extraction("https://any.example/v", LaunchOptions{"http://127.0.0.1:9", "", "x"}));
}

// --- What curl's result means ------------------------------------------------

struct AnswerCase {
    const char* name;
    RunCaptureResult curl;
    std::optional<std::string> url;
};

void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class ExtractAnswer : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ExtractAnswer, OnlyACleanNonEmptyAnswerCounts) { EXPECT_EQ(extracted_url(GetParam().curl), GetParam().url); }

CommandOutput exited(int code, std::string out) { return CommandOutput{code << 8, std::move(out), ""}; }

INSTANTIATE_TEST_SUITE_P(
    Answers, ExtractAnswer,
    ::testing::Values(AnswerCase{"Good", exited(0, R"({"url":"https://s.example/v?signature=1"})"),
                                 "https://s.example/v?signature=1"},
                      AnswerCase{"WhitespaceAround", exited(0, " \n{\"url\": \"http://a/b\"}\r\n"), "http://a/b"},
                      AnswerCase{"ExtraKeysIgnored", exited(0, R"({"url":"http://a/b","expires":60})"), "http://a/b"},
                      AnswerCase{"EmptyUrl", exited(0, R"({"url":""})"), std::nullopt},
                      AnswerCase{"NoUrl", exited(0, R"({"error":"blocked"})"), std::nullopt},
                      AnswerCase{"UrlNotText", exited(0, R"({"url":5})"), std::nullopt},
                      AnswerCase{"HtmlPage", exited(0, "<html><body>502</body></html>"), std::nullopt},
                      AnswerCase{"Nothing", exited(0, ""), std::nullopt},
                      AnswerCase{"CurlFailed", exited(28, R"({"url":"http://a/b"})"), std::nullopt},
                      AnswerCase{"CurlKilled", CommandOutput{9, R"({"url":"http://a/b"})", ""}, std::nullopt},
                      AnswerCase{"NoCurl", SpawnError{"No such file or directory"}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// --- The banner ---------------------------------------------------------------

TEST(Banner, ResumeLineOnlyWithAResumePosition) {
    const std::string rule(50, '=');
    struct Case {
        std::optional<int64_t> resume;
        std::string resume_line;
    };
    for (const Case& c : {Case{754, "[Player] Resume at: 754s\n"}, Case{0, "[Player] Resume at: 0s\n"},
                          Case{std::nullopt, ""}}) {
        test::StderrCapture capture;
        log_banner(PlayRequest{"http://cdn.example/a.m3u8", "Mắt Biếc", "Tập 1 [Server 2]", c.resume});
        EXPECT_EQ(capture.text(), rule + "\n[Player] QZ-NUVALTO Playback: 'Mắt Biếc' - 'Tập 1 [Server 2]'\n" +
                                      c.resume_line + "[Player] Source: http://cdn.example/a.m3u8\n" + rule + "\n");
    }
}

// --- Extraction with real curl against the loopback catalog -------------------

class Extraction : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir();
        server_ = new test::CatalogServer({"--extract-body-file", body_file()});
    }
    static void TearDownTestSuite() {
        delete server_;
        delete dir_;
    }
    void SetUp() override {
        ASSERT_TRUE(server_->running()) << server_->error();
        ASSERT_TRUE(server_->reset());
    }

    static std::string body_file() { return *dir_ / "extract_body"; }
    LaunchOptions options() const { return {server_->base_url(), "signed.example", "signed"}; }
    nlohmann::json requests() { return nlohmann::json::parse(server_->requests_json()); }

    static test::TempDir* dir_;
    static test::CatalogServer* server_;
};

test::TempDir* Extraction::dir_ = nullptr;
test::CatalogServer* Extraction::server_ = nullptr;

TEST_F(Extraction, SignedAnswerReplacesTheUrlAndKeepsHttps) {
    ASSERT_TRUE(server_->get("/__extract?answer=signed").size());
    test::StderrCapture capture;
    EXPECT_EQ(resolve_stream_url("https://signed.example/v/1", options()),
              "https://signed.example/v/1?signature=loopback");
    EXPECT_EQ(capture.text(),
              DETECTED + "[Player] Extracted stream URL: https://signed.example/v/1?signature=loopback\n");
    auto seen = requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]["method"], "POST");
    EXPECT_EQ(seen[0]["path"], "/api/extract");
    EXPECT_EQ(seen[0]["content_type"], "application/json");
}

struct BodyCase {
    const char* name;
    const char* url;
    const char* body;  // what the service must receive, byte for byte
};

void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.name; }

class ExtractionBody : public Extraction, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(ExtractionBody, IsValidJsonNamingTheUrlExactly) {
    const BodyCase& c = GetParam();
    ASSERT_TRUE(server_->get("/__extract?answer=signed").size());
    const std::string signed_url = std::string(c.url) + "?signature=loopback";
    EXPECT_EQ(resolve_signed_url(c.url, options()), signed_url) << "the service read the URL back";
    const std::string body = test::read_file(body_file());
    EXPECT_EQ(body, c.body);
    auto parsed = nlohmann::json::parse(body, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << body;
    EXPECT_EQ(parsed, (nlohmann::json{{"url", c.url}}));
}

INSTANTIATE_TEST_SUITE_P(
    Urls, ExtractionBody,
    ::testing::Values(BodyCase{"Plain", "https://signed.example/v/1", R"({"url":"https://signed.example/v/1"})"},
                      BodyCase{"QuoteAndBackslash", R"(https://signed.example/v/"q"\x)",
                               R"({"url":"https://signed.example/v/\"q\"\\x"})"},
                      // Pasted into a template this would add a second "url".
                      BodyCase{"SmuggledKey", R"(https://signed.example/v","url":"http://evil.example/)",
                               R"({"url":"https://signed.example/v\",\"url\":\"http://evil.example/"})"},
                      BodyCase{"ControlCharacter", "https://signed.example/a\tb",
                               R"({"url":"https://signed.example/a\tb"})"},
                      BodyCase{"Vietnamese", "https://signed.example/phim/tập 1",
                               R"({"url":"https://signed.example/phim/tập 1"})"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Extraction, SignedOrForeignUrlsAreNotSent) {
    test::StderrCapture capture;
    EXPECT_EQ(resolve_stream_url("https://signed.example/v/1?signature=ab", options()),
              "https://signed.example/v/1?signature=ab");
    EXPECT_EQ(resolve_stream_url("https://cdn.example/v/1.m3u8", options()), "http://cdn.example/v/1.m3u8");
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(requests().size(), 0u);
    EXPECT_FALSE(test::path_exists(body_file()));
}

// Every failure keeps the incoming URL (still subject to the scheme rule)
// and logs nothing past the detection line.
class ExtractionFailure : public Extraction, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExtractionFailure, KeepsTheIncomingUrlQuietly) {
    const std::string control = GetParam();
    ASSERT_TRUE(server_->get(control).size()) << control;
    test::StderrCapture capture;
    EXPECT_EQ(resolve_stream_url("https://signed.example/v/2", options()), "https://signed.example/v/2");
    EXPECT_EQ(capture.text(), DETECTED);
    EXPECT_EQ(requests().size(), 1u) << "the service was asked";
}

INSTANTIATE_TEST_SUITE_P(Answers, ExtractionFailure,
                         ::testing::Values("/__extract?answer=empty", "/__mode?mode=status&status=500",
                                           "/__mode?mode=html404", "/__mode?mode=invalid", "/__mode?mode=close"));

TEST_F(Extraction, UnreachableServiceOrNoCurlKeepsTheUrl) {
    LaunchOptions closed = options();
    closed.catalog_base_url = "http://127.0.0.1:" + std::to_string(test::closed_port());
    test::StderrCapture capture;
    EXPECT_EQ(resolve_signed_url("https://signed.example/v/3", closed), "https://signed.example/v/3");
    {
        test::TempDir empty;
        test::EnvGuard no_curl("PATH", empty.path());
        EXPECT_EQ(resolve_signed_url("https://signed.example/v/3", options()), "https://signed.example/v/3");
    }
    EXPECT_EQ(capture.text(), DETECTED + DETECTED);
    EXPECT_EQ(requests().size(), 0u);
}

TEST(ExtractionGuard, BaseThatIsNotHttpIsNeverHandedToCurl) {
    test::PlayFakes fakes;
    fakes.add_program("curl");
    const LaunchOptions odd{"--config=/etc/passwd#", "signed.example", "signed"};
    EXPECT_EQ(resolve_signed_url("https://signed.example/v/4", odd), "https://signed.example/v/4");
    EXPECT_EQ(fakes.log(), std::vector<std::string>{});
}

// The service's answer is as untrusted as the catalog's URL: one that is not
// http(s) reaches no player.
TEST(ExtractionGuard, ExtractedUrlThatIsNotHttpIsNeverPlayed) {
    test::TempDir data;
    test::write_file(data / "extract.json", R"({"https://signed.example/v/9": "-o/tmp/x file:///etc/shadow"})");
    test::CatalogServer server({"--data", data.path()});
    ASSERT_TRUE(server.running()) << server.error();
    test::PlayFakes fakes;
    fakes.link_real("curl");
    fakes.add_program("tinymix");
    fakes.add_program("pgrep");
    test::write_file(fakes.root("/usr/bin/tplayerslave"), "");
    test::write_file(fakes.root("/tmp/btdev_addr"), "AA:BB");
    int runs = 0;
    PlaybackBackends backends;
    backends.hardware = backends.ffmpeg = [&](Framebuffer&, const PlayRequest&) {
        ++runs;
        return PlaybackOutcome{1, PlaybackAction::NextEpisode, 2};
    };
    backends.mpv = [&](const std::string&, const PlayRequest&) -> MpvResult { return MpvNotStarted{++runs > 0}; };
    Framebuffer fb = Framebuffer::in_memory(8, 8);

    test::StderrCapture capture;
    PlaybackOutcome outcome = start_playback(fb, PlayRequest{"https://signed.example/v/9", "T", "E", 30},
                                             LaunchOptions{server.base_url(), "signed.example", "signed"}, backends);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(outcome.position_secs, 30);
    EXPECT_EQ(outcome.action, PlaybackAction::Exited);
    EXPECT_EQ(outcome.duration_secs, 0);
    const std::string log = capture.text();
    EXPECT_NE(log.find("[Player] Extracted stream URL: -o/tmp/x file:///etc/shadow\n"), std::string::npos) << log;
    EXPECT_NE(log.find("[Player] Refusing stream URL that is not http(s): -o/tmp/x file:///etc/shadow\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(fakes.log(), std::vector<std::string>{}) << "no sound routing either";
}

}  // namespace
}  // namespace qz

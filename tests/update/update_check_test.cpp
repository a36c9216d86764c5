#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <variant>

#include "support/files.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"
#include "update/ota_client.h"

namespace qz {
namespace {

using test::UpdateServer;

std::string manifest_json(const std::string& version, const std::string& name = "Release") {
    return R"({"version": ")" + version + R"(", "name": ")" + name +
           R"(", "changelog": "Notes", "download_url": "http://127.0.0.1:1/p.zip", "size_mb": 3})";
}

// What one endpoint does during a check.
struct Endpoint {
    enum Kind { Down, Serves, NotFound } kind = Down;
    std::string body;
};
Endpoint down() { return {Endpoint::Down, ""}; }
Endpoint serves(std::string body) { return {Endpoint::Serves, std::move(body)}; }
Endpoint not_found() { return {Endpoint::NotFound, ""}; }

struct CheckCase {
    const char* name;
    Endpoint primary;
    Endpoint fallback;
    std::string expected;  // "newer <version>", "current" or the error text
    bool falls_back;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

std::string describe(const UpdateCheckResult& r) {
    if (auto* m = std::get_if<OtaManifest>(&r)) return "newer " + m->version;
    if (std::holds_alternative<NoNewerVersion>(r)) return "current";
    return std::get<std::string>(r);
}

// Serves body (or nothing, for NotFound) as the manifest from a fresh directory.
std::unique_ptr<UpdateServer> serve(const test::TempDir& dir, const std::string& sub, const Endpoint& e,
                                    int port) {
    const std::string root = dir / sub;
    std::filesystem::create_directories(root + "/ota");
    if (e.kind == Endpoint::Serves) test::write_file(root + "/ota/qz-nuvalto.json", e.body);
    return UpdateServer::start(root, port);
}

class UpdateCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(UpdateCheck, ReportsWhatTheEndpointsGive) {
    const auto& c = GetParam();
    test::PortLock lock(test::UPDATE_FALLBACK_PORT);
    test::TempDir dir;

    std::unique_ptr<UpdateServer> fallback;
    if (c.fallback.kind == Endpoint::Down) {
        if (test::port_accepts(test::UPDATE_FALLBACK_PORT)) GTEST_SKIP() << "port 4549 is in use";
    } else {
        fallback = serve(dir, "fallback", c.fallback, test::UPDATE_FALLBACK_PORT);
        if (!fallback) GTEST_SKIP() << "port 4549 is taken";
    }
    std::unique_ptr<UpdateServer> primary;
    std::string url = "http://127.0.0.1:" + std::to_string(test::closed_port()) + "/ota/qz-nuvalto.json";
    if (c.primary.kind != Endpoint::Down) {
        primary = serve(dir, "primary", c.primary, 0);
        ASSERT_TRUE(primary);
        url = primary->url("/ota/qz-nuvalto.json");
    }

    testing::internal::CaptureStderr();
    const UpdateCheckResult result = check_for_update({url, "1.0.0"});
    const std::string log = testing::internal::GetCapturedStderr();

    EXPECT_EQ(describe(result), c.expected);
    std::string expected_log = "[OTA] Checking for updates from: " + url + "\n";
    if (c.falls_back) expected_log += "[OTA] Primary endpoint unreachable, checking fallback...\n";
    if (c.expected.rfind("newer ", 0) == 0) {
        expected_log += "[OTA] Found new version: " + c.expected.substr(6) + " (current: 1.0.0)\n";
    } else if (c.expected == "current") {
        expected_log += "[OTA] App is already up to date: 1.0.0\n";
    }
    EXPECT_EQ(log, expected_log);
}

INSTANTIATE_TEST_SUITE_P(
    Update, UpdateCheck,
    ::testing::Values(
        CheckCase{"PrimaryNewer", serves(manifest_json("1.0.1")), down(), "newer 1.0.1", false},
        CheckCase{"PrimaryNewerWithV", serves(manifest_json("v1.2")), down(), "newer v1.2", false},
        CheckCase{"PrimarySameVersion", serves(manifest_json("1.0.0")), down(), "current", false},
        CheckCase{"PrimaryOlder", serves(manifest_json("0.9.9")), down(), "current", false},
        CheckCase{"PrimaryDownFallbackGood", down(), serves(manifest_json("1.0.7")), "newer 1.0.7", true},
        CheckCase{"BothDown", down(), down(), UPDATE_ERR_UNREACHABLE, true},
        CheckCase{"PrimaryEmptyFallbackGood", serves(""), serves(manifest_json("1.0.7")), "newer 1.0.7", true},
        CheckCase{"PrimaryEmptyFallbackEmpty", serves(""), serves(""), UPDATE_ERR_UNREACHABLE, true},
        CheckCase{"PrimaryDownFallbackInvalid", down(), serves("{\"version\": "), UPDATE_ERR_INVALID_MANIFEST,
                  true},
        // An answer that arrives is final, even when the fall-back has a good one.
        CheckCase{"PrimaryInvalidJson", serves("{\"version\": "), serves(manifest_json("1.0.7")),
                  UPDATE_ERR_INVALID_MANIFEST, false},
        CheckCase{"PrimaryErrorPage", not_found(), serves(manifest_json("1.0.7")), UPDATE_ERR_INVALID_MANIFEST,
                  false},
        CheckCase{"PrimaryNullSize", serves(R"({"version": "2", "name": "n", "changelog": "c",)"
                                            R"( "download_url": "u", "size_mb": null})"),
                  down(), UPDATE_ERR_INVALID_MANIFEST, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateCheckManifest, CarriesEveryFieldAndReplacesInvalidUtf8) {
    test::TempDir dir;
    auto primary = serve(dir, "primary",
                         serves(R"({"version": "1.0.1", "name": "B)" + std::string("\xff") +
                                R"(n", "changelog": "Line 1\nLine 2", "download_url": "http://h/p.zip",)"
                                R"( "sha256": "ABCD", "size_mb": 12.5, "extra": 1})"),
                         0);
    ASSERT_TRUE(primary);
    testing::internal::CaptureStderr();
    auto result = check_for_update({primary->url("/ota/qz-nuvalto.json"), "1.0.0"});
    testing::internal::GetCapturedStderr();
    auto* manifest = std::get_if<OtaManifest>(&result);
    ASSERT_NE(manifest, nullptr) << describe(result);
    EXPECT_EQ(manifest->name, "B\xEF\xBF\xBDn");
    EXPECT_EQ(manifest->changelog, "Line 1\nLine 2");
    EXPECT_EQ(manifest->download_url, "http://h/p.zip");
    EXPECT_EQ(manifest->sha256, "ABCD");
    EXPECT_FLOAT_EQ(manifest->size_mb, 12.5f);
}

TEST(UpdateCheckManifest, ANonHttpPrimaryUrlIsTreatedAsUnreachable) {
    test::PortLock lock(test::UPDATE_FALLBACK_PORT);
    if (test::port_accepts(test::UPDATE_FALLBACK_PORT)) GTEST_SKIP() << "port 4549 is in use";
    testing::internal::CaptureStderr();
    auto result = check_for_update({"--version", "1.0.0"});
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(describe(result), UPDATE_ERR_UNREACHABLE);
    EXPECT_NE(log.find("Primary endpoint unreachable"), std::string::npos);
}

}  // namespace
}  // namespace qz

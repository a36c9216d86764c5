#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "update/ota_manifest_reader.h"

namespace qz {
namespace {

struct ManifestCase {
    const char* name;
    std::string text;
    std::optional<OtaManifest> expected;
};

void PrintTo(const ManifestCase& c, std::ostream* os) { *os << c.name; }

OtaManifest manifest(std::string sha256 = "", float size_mb = 0.0f) {
    return OtaManifest{"1.0.1", "Spring", "Fixes", "http://h/p.zip", std::move(sha256), size_mb};
}

const std::string REQUIRED =
    R"("version": "1.0.1", "name": "Spring", "changelog": "Fixes", "download_url": "http://h/p.zip")";

ManifestCase valid(const char* name, const std::string& extra, OtaManifest m) {
    return {name, "{" + REQUIRED + extra + "}", std::move(m)};
}
ManifestCase invalid(const char* name, const std::string& text) { return {name, text, std::nullopt}; }

class ManifestReading : public ::testing::TestWithParam<ManifestCase> {};

TEST_P(ManifestReading, ReadsStrictly) {
    const auto& c = GetParam();
    auto got = parse_ota_manifest(c.text);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.text;
    if (!got) return;
    EXPECT_EQ(got->version, c.expected->version);
    EXPECT_EQ(got->name, c.expected->name);
    EXPECT_EQ(got->changelog, c.expected->changelog);
    EXPECT_EQ(got->download_url, c.expected->download_url);
    EXPECT_EQ(got->sha256, c.expected->sha256);
    EXPECT_FLOAT_EQ(got->size_mb, c.expected->size_mb);
}

INSTANTIATE_TEST_SUITE_P(
    Update, ManifestReading,
    ::testing::Values(
        valid("RequiredOnly", "", manifest()),
        valid("AllFields", R"(, "sha256": "AbC", "size_mb": 12.5)", manifest("AbC", 12.5f)),
        valid("IntegerSize", R"(, "size_mb": 12)", manifest("", 12.0f)),
        valid("NegativeSize", R"(, "size_mb": -0.25e1)", manifest("", -2.5f)),
        valid("UnknownKeysSkipped", R"(, "extra": {"a": 1, "a": 2}, "list": [null, {"b": true}])", manifest()),
        ManifestCase{"SurroundingWhiteSpace", " \n\t{" + REQUIRED + "}\r\n ", manifest()},
        ManifestCase{"ByteOrderMark", "\xEF\xBB\xBF{" + REQUIRED + "}", manifest()},
        ManifestCase{"EscapesAndUtf8",
                     R"({"version": "v2", "name": "Bản \"mới\"", "changelog": "a\nb\u00e9", "download_url": ""})",
                     OtaManifest{"v2", "Bản \"mới\"", "a\nbé", "", "", 0.0f}},
        invalid("SizeNull", "{" + REQUIRED + R"(, "size_mb": null})"),
        invalid("SizeString", "{" + REQUIRED + R"(, "size_mb": "12"})"),
        invalid("SizeOutOfRange", "{" + REQUIRED + R"(, "size_mb": 1e400})"),
        invalid("ShaNull", "{" + REQUIRED + R"(, "sha256": null})"),
        invalid("ShaNumber", "{" + REQUIRED + R"(, "sha256": 5})"),
        invalid("VersionMissing", R"({"name": "n", "changelog": "c", "download_url": "u"})"),
        invalid("NameMissing", R"({"version": "1", "changelog": "c", "download_url": "u"})"),
        invalid("ChangelogMissing", R"({"version": "1", "name": "n", "download_url": "u"})"),
        invalid("DownloadUrlMissing", R"({"version": "1", "name": "n", "changelog": "c"})"),
        invalid("VersionNumber", R"({"version": 1.1, "name": "n", "changelog": "c", "download_url": "u"})"),
        invalid("NameNull", R"({"version": "1", "name": null, "changelog": "c", "download_url": "u"})"),
        invalid("DuplicateVersion", "{" + REQUIRED + R"(, "version": "9.9.9"})"),
        invalid("DuplicateUnknownKey", "{" + REQUIRED + R"(, "x": 1, "x": 1})"),
        invalid("TrailingText", "{" + REQUIRED + "} {}"),
        invalid("TopLevelArray", "[{" + REQUIRED + "}]"),
        invalid("Empty", ""), invalid("HtmlErrorPage", "<html><body>404 Not Found</body></html>"),
        invalid("Truncated", "{" + REQUIRED)),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qz

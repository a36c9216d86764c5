#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"
#include "support/update_device.h"
#include "update/ota_client.h"

namespace qz {
namespace {

namespace fs = std::filesystem;
using test::path_exists;
using test::read_file;
using test::UpdateServer;

const std::vector<std::string> PACKAGE_FILES = {"bin/qz-nuvalto-native64", "bin/qz-nuvalto-native", "launch.sh",
                                                "share/readme.txt"};

bool is_executable(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) != 0;
}

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dev_.ready()); }

    std::string app_dir() const { return dev_.app_dir(); }
    std::string package_file() const { return dev_.package_file(); }
    std::string sha(const std::string& name) const { return dev_.sha(name); }
    bool app_dir_empty() const { return fs::is_empty(app_dir()); }

    std::optional<std::string> install(const std::string& url, const std::string& sha256 = "",
                                       const std::string& exe = "/nowhere/bin/qz") {
        testing::internal::CaptureStderr();
        auto result = install_update_package({url, sha256, exe, {}});
        log_ = testing::internal::GetCapturedStderr();
        return result;
    }

    test::UpdateDevice dev_;
    std::string log_;
};

TEST_F(InstallTest, GoodPackageIsUnpackedAndMadeExecutable) {
    const std::string url = dev_.url("/packages/good.zip");
    test::write_file(package_file(), "stale leftover");
    test::write_file(app_dir() + "/share/readme.txt", "old version\n");

    EXPECT_EQ(install(url), std::nullopt) << log_;

    for (const auto& f : PACKAGE_FILES) EXPECT_TRUE(path_exists(app_dir() + "/" + f)) << f;
    EXPECT_EQ(read_file(app_dir() + "/share/readme.txt"), "new version\n");  // "-o" overwrote it
    EXPECT_TRUE(is_executable(app_dir() + "/bin/qz-nuvalto-native64"));
    EXPECT_TRUE(is_executable(app_dir() + "/bin/qz-nuvalto-native"));
    EXPECT_TRUE(is_executable(app_dir() + "/launch.sh"));
    EXPECT_FALSE(is_executable(app_dir() + "/share/readme.txt"));  // only the three are marked
    EXPECT_FALSE(path_exists(package_file()));

    const std::vector<std::string> lines = {
        "[OTA] Starting download from: " + url + "\n",
        "[OTA] Download completed. Extracting to: " + app_dir() + "\n",
        "[OTA] Update successfully applied! Restarting QZ-Nuvalto...\n"};
    size_t at = 0;
    for (const auto& line : lines) {
        at = log_.find(line, at);
        EXPECT_NE(at, std::string::npos) << "missing in order: " << line << log_;
    }
}

struct FailureCase {
    const char* name;
    std::string path;    // on the test server; empty: a port nothing listens on
    std::string sha256;  // "=name": the true checksum of that package
    std::string error;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class InstallOutcome : public InstallTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(InstallOutcome, GivesItsTextAndLeavesNoPackage) {
    const auto& c = GetParam();
    const std::string url = c.path.empty()
                                ? "http://127.0.0.1:" + std::to_string(test::closed_port()) + "/p.zip"
                                : dev_.url(c.path);
    std::string sha256 = c.sha256;
    if (sha256.rfind("=", 0) == 0) sha256 = sha(sha256.substr(1));
    test::write_file(package_file(), "stale leftover");

    auto result = install(url, sha256);

    EXPECT_EQ(result.value_or("installed"), c.error) << log_;
    EXPECT_FALSE(path_exists(package_file()));
    if (c.error != "installed") {
        EXPECT_TRUE(app_dir_empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Update, InstallOutcome,
    ::testing::Values(
        FailureCase{"MatchingChecksum", "/packages/good.zip", "=good.zip", "installed"},
        FailureCase{"ServerDown", "", "", UPDATE_ERR_DOWNLOAD},
        FailureCase{"ChecksumMismatch", "/packages/good.zip", "=corrupt.zip", UPDATE_ERR_CHECKSUM},
        FailureCase{"ChecksumNotHex", "/packages/good.zip", "not-a-checksum", UPDATE_ERR_CHECKSUM},
        FailureCase{"CorruptArchive", "/packages/corrupt.zip", "", UPDATE_ERR_EXTRACT},
        FailureCase{"CorruptArchiveWithItsChecksum", "/packages/corrupt.zip", "=corrupt.zip", UPDATE_ERR_EXTRACT},
        FailureCase{"ErrorPageSavedAsPackage", "/packages/missing.zip", "", UPDATE_ERR_EXTRACT},
        FailureCase{"ErrorPageAgainstAChecksum", "/packages/missing.zip", "=good.zip", UPDATE_ERR_CHECKSUM}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InstallTest, ChecksumIsComparedIgnoringCase) {
    std::string upper = sha("good.zip");
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(install(dev_.url("/packages/good.zip"), " " + upper + "\n"), std::nullopt) << log_;
    EXPECT_TRUE(path_exists(app_dir() + "/launch.sh"));
}

TEST_F(InstallTest, UrlThatLooksLikeAnOptionIsNeverHandedToCurl) {
    // Read as an option, this would make curl write the package elsewhere.
    const std::string target = dev_.path("written-by-curl");
    EXPECT_EQ(install("-o" + target), UPDATE_ERR_DOWNLOAD);
    EXPECT_FALSE(path_exists(target));
}

TEST_F(InstallTest, EntriesClimbingOutOfTheTargetStayInside) {
    auto result = install(dev_.url("/packages/traversal.zip"));
    // Info-ZIP strips the "../" parts and reports it with a warning status.
    EXPECT_EQ(result, std::optional<std::string>(UPDATE_ERR_EXTRACT));
    EXPECT_FALSE(path_exists(dev_.root() + "/mnt/SDCARD/Apps/escaped.txt"));
    EXPECT_FALSE(path_exists(dev_.root() + "/mnt/SDCARD/escaped2.txt"));
    EXPECT_FALSE(path_exists(dev_.root() + "/mnt/SDCARD/Apps/escaped2.txt"));
    EXPECT_EQ(read_file(app_dir() + "/share/readme.txt"), "inside\n");
    for (const auto& entry : fs::recursive_directory_iterator(dev_.root())) {
        const std::string p = entry.path().string();
        if (p.find("escaped") != std::string::npos) {
            EXPECT_EQ(p.rfind(app_dir() + "/", 0), 0u) << p << " was written outside the target";
        }
    }
}

TEST_F(InstallTest, AbsoluteEntryIsNotWrittenAtItsPath) {
    auto result = install(dev_.url("/packages/absolute.zip"));
    EXPECT_EQ(result, std::optional<std::string>(UPDATE_ERR_EXTRACT));
    EXPECT_FALSE(path_exists(dev_.outside_abs()));
    EXPECT_TRUE(path_exists(app_dir() + dev_.outside_abs()));  // the leading "/" was dropped
}

TEST_F(InstallTest, MissingUnzipFailsExtraction) {
    dev_.restrict_path_to({"curl", "chmod", "sha256sum"});
    EXPECT_EQ(install(dev_.url("/packages/good.zip")), std::optional<std::string>(UPDATE_ERR_EXTRACT));
    EXPECT_FALSE(path_exists(package_file()));
}

TEST_F(InstallTest, MissingCurlFailsDownload) {
    dev_.restrict_path_to({"unzip", "chmod", "sha256sum"});
    EXPECT_EQ(install(dev_.url("/packages/good.zip")), std::optional<std::string>(UPDATE_ERR_DOWNLOAD));
}

TEST_F(InstallTest, MissingChmodIsIgnored) {
    dev_.restrict_path_to({"curl", "unzip", "sha256sum"});
    EXPECT_EQ(install(dev_.url("/packages/good.zip")), std::nullopt) << log_;
    EXPECT_TRUE(path_exists(app_dir() + "/launch.sh"));
    EXPECT_FALSE(is_executable(app_dir() + "/launch.sh"));
}

TEST_F(InstallTest, ChecksumThatCannotBeComputedRefusesThePackage) {
    dev_.restrict_path_to({"curl", "unzip", "chmod"});
    EXPECT_EQ(install(dev_.url("/packages/good.zip"), sha("good.zip")),
              std::optional<std::string>(UPDATE_ERR_VERIFY));
    EXPECT_FALSE(path_exists(package_file()));
    EXPECT_TRUE(app_dir_empty());
    // Without a checksum the tool is not needed.
    EXPECT_EQ(install(dev_.url("/packages/good.zip")), std::nullopt) << log_;
}

TEST_F(InstallTest, WithoutAppDirectoryTheExecutablesGrandparentIsTheTarget) {
    fs::remove_all(dev_.root() + "/mnt");
    const std::string elsewhere = dev_.path("sd/Apps/qz");
    fs::create_directories(elsewhere + "/bin");
    EXPECT_EQ(install(dev_.url("/packages/good.zip"), "", elsewhere + "/bin/qz-nuvalto-native64"),
              std::nullopt)
        << log_;
    EXPECT_TRUE(is_executable(elsewhere + "/launch.sh"));
    EXPECT_NE(log_.find("Extracting to: " + elsewhere + "\n"), std::string::npos) << log_;
}

struct TargetCase {
    const char* name;
    bool app_dir_exists;
    std::string exe;
    std::string expected;  // "APP" for the app directory
};

void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }

class InstallTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(InstallTarget, IsChosenByTheRule) {
    const auto& c = GetParam();
    test::TempDir dir;
    const std::string app = dir / "Apps/qz-nuvalto";
    if (c.app_dir_exists) fs::create_directories(app);
    EXPECT_EQ(choose_install_target(app, c.exe), c.expected == "APP" ? app : c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Update, InstallTarget,
    ::testing::Values(TargetCase{"AppDirectoryWins", true, "/opt/x/bin/qz", "APP"},
                      TargetCase{"GrandparentOfExecutable", false, "/opt/x/bin/qz", "/opt/x"},
                      TargetCase{"RootIsAGrandparent", false, "/bin/qz", "/"},
                      TargetCase{"NoGrandparent", false, "/qz", "APP"},
                      TargetCase{"NoExecutablePath", false, "", "APP"},
                      TargetCase{"InvalidUtf8Replaced", false, "/opt/\xff/bin/qz", "/opt/\xEF\xBF\xBD"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qz

// ctest-labels: threads host
// Self-update end to end: the real executable under a temporary device root
// (regular file as "/dev/fb0", named pipes as the evdev nodes) asks the
// loopback update server on the port it was built with, and the buttons of
// the update screen drive the check and the installation. The panels
// themselves are checked through qz-shot, which runs the same start-up and
// loop but writes what it draws.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "build_config.h"
#include "graphics/framebuffer.h"
#include "support/child.h"
#include "support/evdev_fifo.h"
#include "support/files.h"
#include "support/loopback_server.h"
#include "support/pixel_probe.h"
#include "support/temp_dir.h"
#include "update/ota_client.h"

namespace qz {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint16_t KEY = 1;
constexpr uint16_t KEY_B = 304, KEY_A = 305, KEY_START = 315;
constexpr auto SETTLE = 300ms;
const std::string EXIT_LINE = "Exiting QZ-Nuvalto...\n";
const std::string APP = "mnt/SDCARD/Apps/qz-nuvalto";
const std::string FOUND_LINE = "[OTA] Found new version: 1.0.1 (current: 1.0.0)\n";
const std::string CHECK_LINE = std::string("[OTA] Checking for updates from: ") + UPDATE_MANIFEST_URL + "\n";
const std::vector<std::string> PACKAGE_FILES = {"bin/qz-nuvalto-native64", "bin/qz-nuvalto-native", "launch.sh",
                                                "share/readme.txt"};
const char* const REAL_PACKAGE = "/tmp/qz-nuvalto-update.zip";

bool is_executable(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) != 0;
}

// Where the test packages live and how a manifest names one of them.
struct Packages {
    std::string dir;
    std::string sha(const std::string& name) const { return test::update_package_sha256(dir, name); }
};

std::string manifest_json(const std::string& download_url, const std::string& sha256) {
    return "{\"version\": \"1.0.1\", \"name\": \"QZ-Nuvalto 1.0.1\", \"changelog\": \"Sửa lỗi phát video.\", "
           "\"download_url\": \"" +
           download_url + "\", \"sha256\": \"" + sha256 + "\", \"size_mb\": 0.1}";
}

// One way an installation goes wrong. package: a path on the update server,
// or empty for a port nothing listens on; sha256 "=name" is that package's
// true checksum.
struct FailureCase {
    const char* name;
    std::string package;
    std::string sha256;
    std::string error;
    bool reaches_extraction;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

const FailureCase FAILURES[] = {
    {"ChecksumMismatch", "/packages/good.zip", "=corrupt.zip", UPDATE_ERR_CHECKSUM, false},
    {"ServerRefuses", "", "", UPDATE_ERR_DOWNLOAD, false},
    {"CorruptArchive", "/packages/corrupt.zip", "=corrupt.zip", UPDATE_ERR_EXTRACT, true},
    // Without "-f" curl saves the 404 page, which then fails to unpack.
    {"MissingPackageWithoutChecksum", "/packages/missing.zip", "", UPDATE_ERR_EXTRACT, true},
};

std::string package_url(const FailureCase& c, const std::string& server_url) {
    if (c.package.empty()) return "http://127.0.0.1:" + std::to_string(test::closed_port()) + "/qz.zip";
    return server_url + c.package;
}

std::string package_sha(const FailureCase& c, const Packages& packages) {
    return c.sha256.rfind('=', 0) == 0 ? packages.sha(c.sha256.substr(1)) : c.sha256;
}

// ------------------------------------------------------------ the executable

class UpdateProgram : public ::testing::Test {
protected:
    void SetUp() override {
        test::write_file(dir_ / "root/dev/fb0", "");
        test::make_dirs(dir_ / ("root/" + APP));
        test::make_dirs(dir_ / "root/tmp");
        test::make_dirs(dir_ / "work");
        fifos_ = test::make_app_event_fifos(dir_ / "root");
        packages_.dir = dir_ / "srv/packages";
        test::make_update_packages(packages_.dir, dir_ / "outside/abs.txt");
        server_ = std::make_unique<test::FixedPortServer>(
            UPDATE_MANIFEST_URL, "scripts/test builds with QZ_UPDATE_BASE_URL=http://127.0.0.1:18932",
            [this](int port) { return std::make_unique<test::UpdateServer>(dir_ / "srv", port); });
        REQUIRE_FIXED_PORT_SERVER(*server_);
        real_package_existed_ = test::path_exists(REAL_PACKAGE);
    }

    std::string app_dir() const { return dir_ / ("root/" + APP); }
    std::string log() const { return child_->stderr_text(); }
    void offer(const std::string& download_url, const std::string& sha256) {
        test::write_file(dir_ / "srv/ota/qz-nuvalto.json", manifest_json(download_url, sha256));
    }
    void press(uint16_t code) { fifos_[0]->write_event(KEY, code, 1); }

    // Starts the program once its start-up flush is past (a stale B waits in
    // every node and must not end it), then opens the update screen and waits
    // until the offer is on it.
    void start_and_open_offer() {
        ASSERT_TRUE(test::start_past_flush(child_, test::options_under_root(test::program_path(), dir_.path()), fifos_));
        press(KEY_START);
        ASSERT_TRUE(child_->wait_for_stderr(FOUND_LINE)) << log();
        // The line is written just before the result is sent; give the loop
        // a few passes to take it, or A would start a second check.
        std::this_thread::sleep_for(SETTLE);
    }

    // Polls the log until needle occurs at least n times.
    bool wait_for_count(const std::string& needle, size_t n, bool press_start) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (test::count_of(log(), needle) < n) {
            if (std::chrono::steady_clock::now() > deadline || !child_->running()) return false;
            if (press_start) press(KEY_START);
            std::this_thread::sleep_for(200ms);
        }
        return true;
    }

    // Start is ignored while an installation runs, so a second check shows
    // the installer has given up (the process would have ended on success).
    void wait_until_install_ended() {
        ASSERT_TRUE(wait_for_count(CHECK_LINE, 2, true)) << "the installation never ended\n" << log();
        ASSERT_TRUE(wait_for_count(FOUND_LINE, 2, false)) << log();
        std::this_thread::sleep_for(SETTLE);
    }

    void expect_lines_in_order(const std::vector<std::string>& lines) {
        const std::string text = log();
        size_t at = 0;
        for (const auto& line : lines) {
            at = text.find(line, at);
            ASSERT_NE(at, std::string::npos) << "missing in order: " << line << "\n" << text;
        }
    }

    void expect_real_tmp_untouched() {
        if (!real_package_existed_) {
            EXPECT_FALSE(test::path_exists(REAL_PACKAGE)) << "the package went to the real /tmp";
        }
    }

    test::TempDir dir_;
    test::AppEventFifos fifos_;
    Packages packages_;
    std::unique_ptr<test::FixedPortServer> server_;
    std::unique_ptr<test::Child> child_;
    bool real_package_existed_ = false;
};

TEST_F(UpdateProgram, InstallsIntoTheAppDirectoryAndExitsWith42) {
    const std::string url = server_->url("/packages/good.zip");
    offer(url, packages_.sha("good.zip"));
    test::write_file(app_dir() + "/share/readme.txt", "old version\n");
    test::write_file(app_dir() + "/keep.txt", "not in the package\n");

    start_and_open_offer();
    press(KEY_A);
    const std::optional<int> status = child_->wait_exit(30s);
    ASSERT_EQ(status, UPDATE_EXIT_STATUS) << log();

    expect_lines_in_order({CHECK_LINE, FOUND_LINE, "[OTA] Starting download from: " + url + "\n",
                           "[OTA] Download completed. Extracting to: " + app_dir() + "\n",
                           "[OTA] Update successfully applied! Restarting QZ-Nuvalto...\n"});
    EXPECT_EQ(log().find(EXIT_LINE), std::string::npos) << "the normal shutdown ran\n" << log();
    for (const auto& f : PACKAGE_FILES) EXPECT_TRUE(test::path_exists(app_dir() + "/" + f)) << f;
    EXPECT_EQ(test::read_file(app_dir() + "/share/readme.txt"), "new version\n");
    EXPECT_EQ(test::read_file(app_dir() + "/keep.txt"), "not in the package\n");
    for (const char* f : {"/bin/qz-nuvalto-native64", "/bin/qz-nuvalto-native", "/launch.sh"}) {
        EXPECT_TRUE(is_executable(app_dir() + f)) << f;
    }
    EXPECT_FALSE(is_executable(app_dir() + "/share/readme.txt"));
    EXPECT_FALSE(test::path_exists(dir_ / "root/tmp/qz-nuvalto-update.zip"));
    EXPECT_FALSE(test::path_exists(dir_ / "work/launch.sh")) << "unpacked into the working directory";
    expect_real_tmp_untouched();
}

class UpdateProgramFailure : public UpdateProgram, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(UpdateProgramFailure, KeepsRunningUntouchedAndExitsWithBB) {
    const FailureCase& c = GetParam();
    const std::string url = package_url(c, server_->url(""));
    offer(url, package_sha(c, packages_));

    start_and_open_offer();
    press(KEY_A);
    ASSERT_TRUE(child_->wait_for_stderr("[OTA] Starting download from: " + url + "\n")) << log();
    wait_until_install_ended();

    const std::string text = log();
    EXPECT_EQ(text.find("[OTA] Update successfully applied!"), std::string::npos) << text;
    EXPECT_EQ(text.find("[OTA] Download completed. Extracting to: " + app_dir() + "\n") != std::string::npos,
              c.reaches_extraction)
        << text;
    for (const char* entry : {"/bin", "/launch.sh", "/share"}) {
        EXPECT_FALSE(test::path_exists(app_dir() + entry)) << entry << " was installed";
    }
    EXPECT_FALSE(test::path_exists(dir_ / "root/tmp/qz-nuvalto-update.zip")) << "the package was left behind";
    expect_real_tmp_untouched();

    press(KEY_B);  // update screen -> home
    std::this_thread::sleep_for(SETTLE);
    ASSERT_TRUE(child_->running()) << "one B left the program from the update screen\n" << log();
    press(KEY_B);
    ASSERT_EQ(child_->wait_exit(), 0) << log();
    EXPECT_TRUE(log().ends_with(EXIT_LINE)) << log();
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdateProgramFailure, ::testing::ValuesIn(FAILURES),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ the panels

constexpr Color PANEL = 0xff1d1438;
constexpr Color OFFER_BAND = 0xff6a38b3;
constexpr Color RED = 0xffef4444;
constexpr Color WHITE_TEXT = 0xffffffff;

// qz-shot with its own update server on a free port: the manifest URL is an
// option of the tool, so these cases need not take turns on the fixed port.
class UpdatePanelShot : public ::testing::TestWithParam<FailureCase> {
protected:
    void SetUp() override {
        test::make_dirs(dir_ / "root/mnt/SDCARD/Apps/qz-nuvalto");
        test::make_dirs(dir_ / "root/tmp");
        test::make_dirs(dir_ / "work");
        packages_.dir = dir_ / "srv/packages";
        test::make_update_packages(packages_.dir, dir_ / "outside/abs.txt");
        server_ = test::UpdateServer::start(dir_ / "srv");
        ASSERT_TRUE(server_ != nullptr);
    }

    // Opens the update screen, confirms the offer and shoots once the
    // installer had ample time to give up.
    const Framebuffer* shoot(uint32_t w, uint32_t h) {
        test::ShotRequest request;
        request.catalog_url = "http://127.0.0.1:" + std::to_string(test::closed_port());
        request.update_url = server_->url("/ota/qz-nuvalto.json");
        request.width = w;
        request.height = h;
        request.script = "Start;wait:2500;A;wait:4000";
        return run_.run(request) ? run_.frame("final") : nullptr;
    }

    test::TempDir dir_;
    Packages packages_;
    std::unique_ptr<test::UpdateServer> server_;
    test::ShotRun run_{dir_ / "root", dir_ / "work"};
};

TEST_P(UpdatePanelShot, OfferStaysWithTheErrorAndTheRetryHint) {
    const FailureCase& c = GetParam();
    test::write_file(dir_ / "srv/ota/qz-nuvalto.json",
                     manifest_json(package_url(c, server_->url("")), package_sha(c, packages_)));
    for (const auto& [w, h] : {std::pair{1280u, 720u}, std::pair{1024u, 768u}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const Framebuffer* fb = shoot(w, h);
        ASSERT_NE(fb, nullptr) << run_.log();
        const int32_t x0 = (int32_t(w) - 640) / 2, y0 = (int32_t(h) - 360) / 2;
        EXPECT_TRUE(test::region_is(*fb, x0 + 520, y0 + 4, 100, 40, OFFER_BAND)) << run_.log();
        EXPECT_TRUE(test::text_at(*fb, "PHÁT HIỆN BẢN CẬP NHẬT OTA MỚI", x0 + 24, y0 + 14, WHITE_TEXT, 18.0f,
                                  OFFER_BAND));
        EXPECT_TRUE(test::text_at(*fb, "Lỗi: " + c.error, x0 + 24, y0 + 280, RED, 14.0f, PANEL)) << run_.log();
        EXPECT_TRUE(test::text_at(*fb, "[B] Bỏ qua   [Y] Thử lại", x0 + 24, y0 + 320, WHITE_TEXT, 15.0f, PANEL));
        EXPECT_FALSE(test::path_exists(dir_ / "root/mnt/SDCARD/Apps/qz-nuvalto/launch.sh"));
        EXPECT_FALSE(test::path_exists(dir_ / "root/tmp/qz-nuvalto-update.zip"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdatePanelShot, ::testing::ValuesIn(FAILURES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qz

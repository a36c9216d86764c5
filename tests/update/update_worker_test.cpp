// ctest-labels: threads
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <variant>

#include "common/channel.h"
#include "support/files.h"
#include "support/update_device.h"
#include "update/ota_client.h"

namespace qz {
namespace {

using namespace std::chrono_literals;

constexpr auto WAIT = 20s;

bool is_executable(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) != 0;
}

// A reported state as text: "downloading" or the error.
std::string status_of(const std::optional<UpdateState>& s) {
    if (!s) return "<nothing>";
    if (std::holds_alternative<UpdateDownloading>(*s)) return "downloading";
    if (const auto* f = std::get_if<UpdateFailed>(&*s)) return f->error;
    return "<another state>";
}

// Reports go to a channel, as the application's workers send them on.
UpdateReport reporter(const Sender<UpdateState>& tx) {
    return [tx](UpdateState state) { tx.send(std::move(state)); };
}

UpdateInstallOptions install_options(const std::string& url, const std::string& sha256 = {}) {
    UpdateInstallOptions options;
    options.download_url = url;
    options.sha256 = sha256;
    return options;
}

void wait_until_idle() {
    const auto deadline = std::chrono::steady_clock::now() + WAIT;
    while (update_install_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
}

class UpdateWorker : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dev_.ready());
        wait_until_idle();
        ASSERT_FALSE(update_install_running());
    }
    void TearDown() override { wait_until_idle(); }

    test::UpdateDevice dev_;
};

TEST_F(UpdateWorker, CheckThreadSendsOneUpdateChecked) {
    test::write_file(dev_.path("srv/ota/qz-nuvalto.json"),
                     R"({"version": "1.0.1", "name": "n", "changelog": "c", "download_url": "u"})");
    auto [tx, rx] = make_channel<UpdateCheckResult>();
    testing::internal::CaptureStderr();
    start_update_check({dev_.url("/ota/qz-nuvalto.json"), "1.0.0"},
                       [tx = tx](UpdateCheckResult result) { tx.send(std::move(result)); });
    tx.reset();  // the channel closes once the thread is done with its copy
    auto first = rx.recv_for(WAIT);
    auto second = rx.recv_for(WAIT);
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(first);
    const auto* manifest = std::get_if<OtaManifest>(&*first);
    ASSERT_NE(manifest, nullptr);
    EXPECT_EQ(manifest->version, "1.0.1");
    EXPECT_FALSE(second);
}

TEST_F(UpdateWorker, SuccessfulInstallEndsWithStatus42AfterTheChmods) {
    std::promise<int> exited;
    std::atomic<bool> launcher_executable{false};
    UpdateInstallOptions options;
    options.download_url = dev_.url("/packages/good.zip");
    options.sha256 = dev_.sha("good.zip");
    options.exit_process = [&](int status) {
        launcher_executable = is_executable(dev_.app_dir() + "/launch.sh");
        exited.set_value(status);
    };
    auto [tx, rx] = make_channel<UpdateState>();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(start_update_install(options, reporter(tx)));
    auto done = exited.get_future();
    ASSERT_EQ(done.wait_for(WAIT), std::future_status::ready);
    wait_until_idle();
    testing::internal::GetCapturedStderr();

    EXPECT_EQ(done.get(), UPDATE_EXIT_STATUS);
    EXPECT_TRUE(launcher_executable);
    EXPECT_EQ(status_of(rx.try_recv()), "downloading");
    EXPECT_FALSE(rx.try_recv());  // success sends nothing more
}

TEST_F(UpdateWorker, FailedInstallSendsDownloadingThenFailedAndFreesTheSlot) {
    auto [tx, rx] = make_channel<UpdateState>();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(
        start_update_install(install_options(dev_.url("/packages/good.zip"), dev_.sha("corrupt.zip")), reporter(tx)));
    auto first = rx.recv_for(WAIT);
    auto second = rx.recv_for(WAIT);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(status_of(first), "downloading");
    EXPECT_EQ(status_of(second), UPDATE_ERR_CHECKSUM);
    // Free by the time the failure can be seen.
    EXPECT_FALSE(update_install_running());
}

TEST_F(UpdateWorker, SecondInstallIsRefusedWhileOneRuns) {
    std::promise<int> exited;
    UpdateInstallOptions slow;
    slow.download_url = dev_.url("/packages/good.zip?delay=1.5");
    slow.exit_process = [&](int status) { exited.set_value(status); };
    auto [tx, rx] = make_channel<UpdateState>();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(start_update_install(slow, reporter(tx)));
    EXPECT_TRUE(update_install_running());
    EXPECT_FALSE(start_update_install(install_options(dev_.url("/packages/corrupt.zip")), reporter(tx)));

    auto done = exited.get_future();
    ASSERT_EQ(done.wait_for(WAIT), std::future_status::ready);
    wait_until_idle();
    EXPECT_EQ(status_of(rx.try_recv()), "downloading");
    EXPECT_FALSE(rx.try_recv()) << "the refused install must send nothing";
    EXPECT_TRUE(test::path_exists(dev_.app_dir() + "/share/readme.txt"));

    // Once the slot is free, a new install is accepted.
    EXPECT_TRUE(start_update_install(install_options(dev_.url("/packages/corrupt.zip")), reporter(tx)));
    EXPECT_EQ(status_of(rx.recv_for(WAIT)), "downloading");
    EXPECT_EQ(status_of(rx.recv_for(WAIT)), UPDATE_ERR_EXTRACT);
    testing::internal::GetCapturedStderr();
}

TEST_F(UpdateWorker, RealExitEndsTheProcessWith42) {
    // Forked, so the child uses this server and leaves no process behind.
    GTEST_FLAG_SET(death_test_style, "fast");
    UpdateInstallOptions options;  // the default exit
    options.download_url = dev_.url("/packages/good.zip");
    const auto install_here = [&] { run_update_install(options, [](UpdateState) {}); };
    EXPECT_EXIT(install_here(),
        ::testing::ExitedWithCode(UPDATE_EXIT_STATUS), "Update successfully applied! Restarting QZ-Nuvalto");
}

}  // namespace
}  // namespace qz

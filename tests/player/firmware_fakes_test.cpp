// ctest-labels: host
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "common/device_path.h"
#include "common/device_paths.h"
#include "player/player_control.h"
#include "process/command.h"
#include "support/env_guard.h"
#include "support/fw_device.h"

namespace qz {
namespace {

using namespace std::chrono_literals;

const std::string SOURCE = "http://cdn.example/hls/show/index.m3u8";

// The scripted hardware player under a device root, steered through the same
// pipe and files as the real one.
class FakePlayerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(prepare_player_control_dir()); }

    // Starts the player and waits for its first status: from then on it has
    // the command pipe open and hears every command.
    void start() {
        auto spawned = spawn_piped(device_path(paths::HW_PLAYER), {SOURCE});
        ASSERT_TRUE(std::holds_alternative<ChildProcess>(spawned)) << std::get<SpawnError>(spawned).message;
        player_ = std::move(std::get<ChildProcess>(spawned));
        ASSERT_TRUE(test::fw_wait_until([] { return read_player_status().has_value(); }))
            << "no status file; player log:\n" << device_.player_log();
    }

    // The raw wait status once the player ended within the timeout.
    std::optional<int> wait_end(std::chrono::milliseconds timeout = 10s) {
        std::optional<int> status;
        test::fw_wait_until([&] { return (status = player_.try_wait()).has_value(); }, timeout);
        return status;
    }

    std::optional<PlayerStatus> wait_status(const std::function<bool(const PlayerStatus&)>& wanted) {
        std::optional<PlayerStatus> seen;
        test::fw_wait_until([&] {
            seen = read_player_status();
            return seen && wanted(*seen);
        });
        return seen;
    }

    test::FwDevice device_;
    test::EnvGuard interval_{"QZ_FAKE_PLAYER_INTERVAL", "0.05"};
    ChildProcess player_;
};

bool exited_cleanly(std::optional<int> status) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

bool killed_by(std::optional<int> status, int signal) {
    return status && WIFSIGNALED(*status) && WTERMSIG(*status) == signal;
}

TEST_F(FakePlayerTest, PlaysAtRealSpeedSeeksPausesAndExitsOnCommand) {
    start();
    auto info = read_video_info();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 1920);
    EXPECT_EQ(info->height, 1080);
    EXPECT_EQ(info->duration_ms, 1500000);

    // Real speed: from a status just rewritten, the position never runs
    // ahead of the wall clock by more than about one rewrite.
    const int64_t first = read_player_status()->position_ms;
    auto fresh = wait_status([&](const PlayerStatus& s) { return s.position_ms != first; });
    ASSERT_TRUE(fresh && fresh->position_ms != first);
    const auto t0 = std::chrono::steady_clock::now();
    const int64_t p0 = fresh->position_ms;
    auto later = wait_status([&](const PlayerStatus& s) { return s.position_ms >= p0 + 300; });
    ASSERT_TRUE(later && later->position_ms >= p0 + 300);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    EXPECT_LE(later->position_ms - p0, elapsed.count() + 100);
    EXPECT_EQ(later->status, "playing");
    EXPECT_EQ(later->duration_ms, 1500000);

    send_player_command(seek_command(754000));
    send_player_command("pause");
    auto paused = wait_status([](const PlayerStatus& s) { return s.status == "paused"; });
    ASSERT_TRUE(paused && paused->status == "paused");
    EXPECT_GE(paused->position_ms, 754000);
    EXPECT_LT(paused->position_ms, 754000 + 500);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(read_player_status()->position_ms, paused->position_ms);

    send_player_command("unpause");
    auto resumed = wait_status([&](const PlayerStatus& s) { return s.position_ms > paused->position_ms; });
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->status, "playing");

    send_player_command("exit");
    EXPECT_TRUE(exited_cleanly(wait_end()));
    EXPECT_EQ(device_.player_log(),
              "args [\"" + SOURCE + "\"]\ncmd seek 754000\ncmd pause\ncmd unpause\ncmd exit\n");
}

TEST_F(FakePlayerTest, ReportsCompletedAfterAWhileOrAtTheEndAndWaitsForExit) {
    struct Case {
        const char* mode;
        const char* variable;
        const char* value;
    };
    for (const Case& c : std::vector<Case>{{"complete", "QZ_FAKE_PLAYER_AFTER", "0.3"},
                                          {"play", "QZ_FAKE_PLAYER_DURATION_MS", "400"}}) {
        SCOPED_TRACE(c.mode);
        test::EnvGuard mode("QZ_FAKE_PLAYER_MODE", c.mode);
        test::EnvGuard setting(c.variable, c.value);
        ASSERT_TRUE(prepare_player_control_dir());
        start();
        auto done = wait_status([](const PlayerStatus& s) { return s.status == "completed"; });
        ASSERT_TRUE(done && done->status == "completed");
        std::this_thread::sleep_for(200ms);
        EXPECT_FALSE(player_.try_wait()) << "the player left before it was told to";
        EXPECT_EQ(read_player_status()->position_ms, done->position_ms);
        send_player_command("exit");
        EXPECT_TRUE(exited_cleanly(wait_end()));
    }
}

TEST_F(FakePlayerTest, SelfExitLeavesWithoutCompleted) {
    test::EnvGuard mode("QZ_FAKE_PLAYER_MODE", "self-exit");
    test::EnvGuard after("QZ_FAKE_PLAYER_AFTER", "0.5");
    start();
    EXPECT_TRUE(exited_cleanly(wait_end()));
    auto last = read_player_status();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->status, "playing");
    EXPECT_EQ(device_.player_log(), "args [\"" + SOURCE + "\"]\nend self-exit\n");
}

TEST_F(FakePlayerTest, IgnoringExitItStillDiesOnSigterm) {
    test::EnvGuard mode("QZ_FAKE_PLAYER_MODE", "ignore-exit");
    start();
    send_player_command("exit");
    ASSERT_TRUE(test::fw_wait_until([&] { return device_.player_log().find("cmd exit\n") != std::string::npos; }));
    EXPECT_FALSE(wait_end(500ms));
    player_.kill(SIGTERM);
    EXPECT_TRUE(killed_by(wait_end(), SIGTERM));
}

TEST_F(FakePlayerTest, StubbornPlayerOutlivesSigtermButNotSigkill) {
    test::EnvGuard mode("QZ_FAKE_PLAYER_MODE", "stubborn");
    start();
    send_player_command("exit");
    player_.kill(SIGTERM);
    ASSERT_TRUE(test::fw_wait_until(
        [&] { return device_.player_log().find("signal SIGTERM ignored\n") != std::string::npos; }));
    EXPECT_FALSE(wait_end(300ms));
    player_.kill(SIGKILL);
    EXPECT_TRUE(killed_by(wait_end(), SIGKILL));
}

TEST_F(FakePlayerTest, LateInfoComesAfterTheFirstStatus) {
    test::EnvGuard mode("QZ_FAKE_PLAYER_MODE", "late-info");
    test::EnvGuard delay("QZ_FAKE_PLAYER_INFO_DELAY", "2.0");
    test::EnvGuard width("QZ_FAKE_PLAYER_WIDTH", "720");
    test::EnvGuard height("QZ_FAKE_PLAYER_HEIGHT", "1280");
    start();
    EXPECT_EQ(read_player_status()->status, "playing");
    EXPECT_FALSE(read_video_info());
    std::optional<VideoInfo> info;
    ASSERT_TRUE(test::fw_wait_until([&] { return (info = read_video_info()).has_value(); }));
    auto window = fit_video_window(1024, 768, info->width, info->height);
    ASSERT_TRUE(window);
    EXPECT_EQ(window_command(*window), "win 296 0 432 768");
}

TEST_F(FakePlayerTest, RefusesToRunWithoutADeviceRoot) {
    const std::string program = device_path(paths::HW_PLAYER);
    test::EnvGuard no_root("QZ_DEVICE_ROOT", std::nullopt);
    auto ran = run_capture(program, {SOURCE});
    auto* out = std::get_if<CommandOutput>(&ran);
    ASSERT_TRUE(out);
    EXPECT_TRUE(WIFEXITED(out->status) && WEXITSTATUS(out->status) != 0);
    EXPECT_NE(out->stderr_data.find("QZ_DEVICE_ROOT"), std::string::npos);
}

// ------------------------------------------------- the other firmware stand-ins

int exit_code(const RunCaptureResult& r) {
    auto* out = std::get_if<CommandOutput>(&r);
    return out && WIFEXITED(out->status) ? WEXITSTATUS(out->status) : -1;
}

int exit_code(const RunWaitResult& r) {
    auto* status = std::get_if<int>(&r);
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

TEST_F(FakePlayerTest, KillallOnlyLogsAndTheSoundToolsLogInOrder) {
    start();
    EXPECT_EQ(exit_code(run_capture("killall", {"-15", "tplayerslave"})), 0);
    EXPECT_EQ(exit_code(run_wait(device_path(paths::SYSTEMVAL), {"vol", "12"})), 0);
    EXPECT_EQ(exit_code(run_wait(device_path(paths::SHOW_VOLUME_MSG), {"12"})), 0);
    EXPECT_EQ(exit_code(run_capture("amixer", {"sset", "Master", "60%"})), 0);
    EXPECT_EQ(exit_code(run_capture("tinymix", {"set", "16", "255", "255"})), 0);
    EXPECT_EQ(device_.firmware_log(),
              "killall -15 tplayerslave\nsystemval vol 12\nshow_volume_msg.sh 12\namixer sset Master 60%\n"
              "tinymix set 16 255 255\n");
    EXPECT_FALSE(wait_end(300ms)) << "killall stand-in signalled the player";
}

TEST(FirmwarePgrep, NotFoundUnlessNamedAsRunning) {
    test::FwDevice device;
    EXPECT_EQ(exit_code(run_capture("pgrep", {"-x", "bluealsa"})), 1);
    {
        test::EnvGuard running("QZ_FAKE_PGREP_RUNNING", "mpv bluealsa");
        auto found = run_capture("pgrep", {"-x", "bluealsa"});
        EXPECT_EQ(exit_code(found), 0);
        EXPECT_EQ(std::get<CommandOutput>(found).stdout_data, "");
        EXPECT_EQ(exit_code(run_capture("pgrep", {"-x", "blue*"})), 1);
    }
    EXPECT_EQ(device.firmware_log(), "pgrep -x bluealsa\npgrep -x bluealsa\npgrep -x blue*\n");
}

}  // namespace
}  // namespace qz

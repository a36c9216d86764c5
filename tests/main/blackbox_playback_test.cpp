// ctest-labels: threads
// ctest-labels: host
// The real executable plays a continue-watching card on the scripted
// hardware player: the launcher's banner, the player started on the stream,
// the resume seek sent first, the player's own buttons on event4, and the
// position the history keeps afterwards. The search path holds only the
// programs the session may run, so an mpv installed on the machine is not
// chosen instead.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "build_config.h"
#include "input/evdev.h"
#include "support/child.h"
#include "support/evdev_fifo.h"
#include "support/files.h"
#include "support/fw_device.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

using namespace std::chrono_literals;

const std::string FIRMWARE = std::string(QZ_SOURCE_DIR) + "/tools/firmware";
const std::string APP_DIR = "root/mnt/SDCARD/Apps/qz-nuvalto";

const std::string HISTORY = R"([
  {"movie_id": "phim-mot", "movie_title": "Phim Một", "poster_url": "", "server_name": "Vietsub #1",
   "episode_number": 3, "episode_title": "Tập 3", "play_url": "https://cdn.example/phim-mot/3.mp4",
   "last_pos_secs": 754, "duration_secs": 1500, "updated_at": 1700000000}
])";

class PlaybackProgram : public ::testing::Test {
protected:
    void SetUp() override {
        test::write_file(dir_ / "root/dev/fb0", "");
        test::write_file(dir_ / (APP_DIR + "/history.json"), HISTORY);
        test::make_dirs(dir_ / "work");
        test::make_dirs(dir_ / "root/tmp");
        link(FIRMWARE + "/tplayerslave", dir_ / "root/usr/bin/tplayerslave");
        link(FIRMWARE + "/systemval", dir_ / "root/usr/trimui/bin/systemval");
        link(FIRMWARE + "/show_volume_msg.sh", dir_ / "root/usr/trimui/osd/show_volume_msg.sh");
        for (const char* fake : {"tinymix", "amixer", "pgrep", "killall"}) link(FIRMWARE + "/" + fake, dir_ / (std::string("bin/") + fake));
        for (const char* real : {"sh", "env", "python3", "curl", "kill"}) {
            // The system's own programs: a python3 on the developer's search
            // path may be a shim that needs more than this search path.
            std::string found = "/usr/bin/" + std::string(real);
            if (!test::path_exists(found)) found = test::find_in_path(real);
            ASSERT_FALSE(found.empty()) << real << " is needed";
            link(found, dir_ / (std::string("bin/") + real));
        }
        fifos_ = test::make_app_event_fifos(dir_ / "root");
        player_buttons_ = std::make_unique<test::EventFifo>(dir_ / "root/dev/input/event4");
    }

    static void link(const std::string& target, const std::string& at) {
        test::make_dirs(std::filesystem::path(at).parent_path());
        std::filesystem::create_symlink(target, at);
    }

    void start() { start_with({}); }

    void start_with(const std::map<std::string, std::string>& player_env) {
        test::ChildOptions options = test::options_under_root(test::program_path(), dir_.path());
        for (const auto& [name, value] : player_env) options.env[name] = value;
        options.env["PATH"] = dir_ / "bin";
        options.env["HOME"] = dir_ / "home";
        options.env["QZ_FAKE_PLAYER_LOG"] = dir_ / "player.log";
        options.env["QZ_FAKE_FIRMWARE_LOG"] = dir_ / "firmware.log";
        ASSERT_TRUE(test::start_past_flush(child_, options, fifos_));
    }

    // Sessions the scripted player was started for, in order.
    std::vector<std::string> player_starts() const {
        std::vector<std::string> starts;
        const std::string log = test::read_file(dir_ / "player.log");
        for (size_t at = log.find("args "); at != std::string::npos; at = log.find("\nargs ", at + 1)) {
            const size_t begin = log[at] == '\n' ? at + 1 : at;
            starts.push_back(log.substr(begin, log.find('\n', begin) - begin));
        }
        return starts;
    }

    bool player_heard(const std::string& command, std::chrono::milliseconds timeout = 15s) {
        return test::fw_wait_until(
            [&] { return test::read_file(dir_ / "player.log").find("cmd " + command + "\n") != std::string::npos; },
            timeout);
    }

    test::TempDir dir_;
    test::AppEventFifos fifos_;
    std::unique_ptr<test::EventFifo> player_buttons_;
    std::unique_ptr<test::Child> child_;
};

TEST_F(PlaybackProgram, ContinueWatchingPlaysOnTheHardwarePlayerAndTheHistoryKeepsThePosition) {
    ASSERT_NO_FATAL_FAILURE(start());
    fifos_[0]->press(evdev::BTN_EAST);  // A on the focused continue-watching card
    ASSERT_TRUE(player_heard("seek 754000")) << child_->stderr_text() << test::read_file(dir_ / "player.log");
    const std::string log = test::read_file(dir_ / "player.log");
    // The scheme rule turned https into http before the player saw it, and
    // the resume seek is the first thing it heard.
    EXPECT_EQ(log.rfind("args [\"http://cdn.example/phim-mot/3.mp4\"]\n", 0), 0u) << log;
    EXPECT_LT(log.find("cmd seek 754000"), log.find("cmd win")) << log;

    std::this_thread::sleep_for(1200ms);  // past the reader's warm-up
    player_buttons_->press(evdev::BTN_SOUTH);
    ASSERT_TRUE(player_heard("exit"));
    ASSERT_TRUE(child_->wait_for_stderr("[History] Recorded progress for 'Phim Một'", 10s)) << child_->stderr_text();

    const std::string err = child_->stderr_text();
    for (const char* line : {"[Playback] Auto-Resuming 'Phim Một' at Some(754)s\n",
                             "[Player] Auto-resumed playback at 754 seconds (754000 ms)\n",
                             "[Player] User requested EXIT\n",
                             "[Player] Playback session ended cleanly with action: Exited, pos: "}) {
        EXPECT_NE(err.find(line), std::string::npos) << line << "\n" << err;
    }
    const auto history = nlohmann::json::parse(test::read_file(dir_ / (APP_DIR + "/history.json")));
    ASSERT_EQ(history.size(), 1u);
    EXPECT_GE(history[0]["last_pos_secs"].get<int64_t>(), 754);
    EXPECT_EQ(history[0]["duration_secs"].get<int64_t>(), 1500);
    EXPECT_EQ(history[0]["play_url"], "https://cdn.example/phim-mot/3.mp4");

    fifos_[0]->press(evdev::BTN_SOUTH);  // B on the home screen
    ASSERT_EQ(child_->wait_exit(), 0) << child_->stderr_text();
}

// A series with three episodes as the only title of the first shelf.
const std::string SHELF = R"([{"id": "bo-1", "title": "Ba Tập", "slug": "ba-tap", "year": 2024}])";
const std::string SERIES = R"({"id": "bo-1", "title": "Ba Tập", "slug": "ba-tap", "episodes": [
  {"title": "Tập 1", "url": "http://cdn.example/ba-tap/1.mp4", "serverName": "S1", "number": 1},
  {"title": "Tập 2", "url": "http://cdn.example/ba-tap/2.mp4", "serverName": "S1", "number": 2},
  {"title": "Tập 3", "url": "http://cdn.example/ba-tap/3.mp4", "serverName": "S1", "number": 3}]})";

// An episode whose stream ends ("completed") is followed at once by the next
// one of the detail list; leaving that one with B records where it stopped.
TEST_F(PlaybackProgram, CompletedEpisodeIsFollowedByTheNextOne) {
    std::filesystem::remove(dir_ / (APP_DIR + "/history.json"));
    test::write_file(dir_ / "data/home-phim-le.json", SHELF);
    for (const char* other : {"home-phim-bo.json", "home-hoat-hinh.json", "home.json"}) {
        test::write_file(dir_ / (std::string("data/") + other), "[]");
    }
    test::write_file(dir_ / "data/videos/ba-tap.json", SERIES);
    const auto catalog = test::fixed_port_catalog(CATALOG_BASE_URL, {"--data", dir_ / "data"});
    REQUIRE_FIXED_PORT_SERVER(*catalog);
    // Each session "completes" 3 s after it started, unless left earlier.
    ASSERT_NO_FATAL_FAILURE(start_with({{"QZ_FAKE_PLAYER_MODE", "complete"}, {"QZ_FAKE_PLAYER_AFTER", "3.0"}}));

    ASSERT_TRUE(child_->wait_for_stderr("[Nuvalto] Fetching catalog from: ", 10s));
    std::this_thread::sleep_for(2s);    // the shelves arrive from the loopback server
    fifos_[0]->press(evdev::BTN_EAST);  // A on the series: its detail
    ASSERT_TRUE(child_->wait_for_stderr("[Nuvalto] Fetching detail from: ", 10s)) << child_->stderr_text();
    std::this_thread::sleep_for(1500ms);  // the detail screen is up; stray presses were consumed
    test::write_file(dir_ / "player.log", "");
    fifos_[0]->press(evdev::BTN_EAST);  // A: play the selected (first) episode
    ASSERT_TRUE(test::fw_wait_until([&] { return player_starts().size() >= 2; }, 15s))
        << child_->stderr_text() << test::read_file(dir_ / "player.log");
    std::this_thread::sleep_for(1200ms);  // inside the second session, past the reader's warm-up
    player_buttons_->press(evdev::BTN_SOUTH);
    ASSERT_TRUE(child_->wait_for_stderr("action: Exited", 10s)) << child_->stderr_text();
    ASSERT_TRUE(test::fw_wait_until([&] {
        return test::count_of(child_->stderr_text(), "[History] Recorded progress for 'Ba Tập'") == 2;
    }, 10s)) << child_->stderr_text();

    EXPECT_EQ(player_starts(), (std::vector<std::string>{"args [\"http://cdn.example/ba-tap/1.mp4\"]",
                                                         "args [\"http://cdn.example/ba-tap/2.mp4\"]"}));
    const std::string err = child_->stderr_text();
    EXPECT_NE(err.find("[Player] Playback completed automatically.\n"), std::string::npos) << err;
    EXPECT_NE(err.find("[Playback] Starting: 'Ba Tập' - 'Tập 2 [S1]' (resume: Nones)\n"), std::string::npos) << err;
    const auto history = nlohmann::json::parse(test::read_file(dir_ / (APP_DIR + "/history.json")));
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0]["episode_number"], 2);
    EXPECT_EQ(history[0]["play_url"], "http://cdn.example/ba-tap/2.mp4");
    EXPECT_GE(history[0]["last_pos_secs"].get<int64_t>(), 1);

    fifos_[0]->press(evdev::BTN_SOUTH);  // B: back to the home screen
    fifos_[0]->press(evdev::BTN_SOUTH);  // B: leave
    ASSERT_EQ(child_->wait_exit(), 0) << child_->stderr_text();
}

}  // namespace
}  // namespace qz

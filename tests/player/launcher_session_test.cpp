// ctest-labels: host
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "player/launcher.h"
#include "support/stderr_capture.h"
#include "support/play_fakes.h"

namespace qz {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const LaunchOptions OPTIONS{"http://127.0.0.1:9", "signed.example", "signed"};
const char* const HW = "/usr/bin/tplayerslave";
const char* const BT = "/tmp/btdev_addr";
const char* const SYSTEM_MPV = "/usr/bin/mpv";
const char* const CARD_MPV = "/mnt/SDCARD/System/bin/mpv";

// Back-ends that note what they were handed and end with outcomes of their
// own, so the test sees which one ran and that its outcome came back.
struct ScriptedBackends {
    struct Run {
        std::string backend;
        std::string program;
        PlayRequest request;
    };
    std::vector<Run> runs;
    std::optional<MpvNotStarted> mpv_fails;

    static constexpr PlaybackOutcome HARDWARE_OUTCOME{101, PlaybackAction::NextEpisode, 1500};
    static constexpr PlaybackOutcome FFMPEG_OUTCOME{202, PlaybackAction::PrevEpisode, 2500};
    static constexpr PlaybackOutcome MPV_OUTCOME{303, PlaybackAction::Exited, 3500};

    PlaybackBackends table() {
        PlaybackBackends b;
        b.hardware = [this](Framebuffer&, const PlayRequest& r) {
            runs.push_back({"hardware", "", r});
            return HARDWARE_OUTCOME;
        };
        b.ffmpeg = [this](Framebuffer&, const PlayRequest& r) {
            runs.push_back({"ffmpeg", "", r});
            return FFMPEG_OUTCOME;
        };
        b.mpv = [this](const std::string& program, const PlayRequest& r) -> MpvResult {
            runs.push_back({"mpv", program, r});
            if (mpv_fails) return *mpv_fails;
            return MPV_OUTCOME;
        };
        return b;
    }
};

bool same(const PlaybackOutcome& a, const PlaybackOutcome& b) {
    return a.position_secs == b.position_secs && a.action == b.action && a.duration_secs == b.duration_secs;
}

// A console under a device root with the mixer tools, bluealsa and ALSA
// override files in place.
class Launcher : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"tinymix", "pgrep"}) fakes_.add_program(tool, tool == std::string("pgrep") ? 1 : 0);
        fakes_.add_device_program("/usr/bin/bluealsa");
        test::make_dirs(fakes_.root("/sys/class/speaker"));
        for (const std::string& file : alsa_files()) test::write_file(file, "pcm.!default bluealsa\n");
    }

    Lines alsa_files() const {
        return {fakes_.root("/tmp/asound_bt.conf"), fakes_.root("/root/.asoundrc"), fakes_.home() + "/.asoundrc"};
    }

    bool alsa_overrides_left() const {
        for (const auto& file : alsa_files()) {
            if (!test::path_exists(file)) return false;
        }
        return std::getenv("ALSA_CONFIG_PATH") != nullptr;
    }

    test::PlayFakes fakes_;
    test::EnvGuard alsa_path_{"ALSA_CONFIG_PATH", "/tmp/asound_bt.conf"};
    Framebuffer fb_ = Framebuffer::in_memory(32, 24);
    ScriptedBackends scripted_;
};

struct SessionCase {
    const char* name;
    std::vector<const char*> device_files;
    bool mpv_on_path;
    std::optional<MpvNotStarted> mpv_fails;
    Lines backends_run;
    const char* mpv_program;  // a device path (under the root) or "mpv"; "" when mpv does not run
    bool audio_prepared;      // ALSA overrides cleared before a native back-end
};

void PrintTo(const SessionCase& c, std::ostream* os) { *os << c.name; }

class LauncherChoice : public Launcher, public ::testing::WithParamInterface<SessionCase> {};

TEST_P(LauncherChoice, HandsTheResolvedRequestToTheChosenBackend) {
    const SessionCase& c = GetParam();
    for (const char* file : c.device_files) test::write_file(fakes_.root(file), "");
    if (c.mpv_on_path) fakes_.add_program("mpv");
    scripted_.mpv_fails = c.mpv_fails;

    const PlayRequest request{"https://cdn.example/ep1.m3u8?next=https://b.example", "Mắt Biếc", "Tập 1", 754};
    PlaybackOutcome outcome = start_playback(fb_, request, OPTIONS, scripted_.table());

    Lines ran;
    for (const auto& run : scripted_.runs) {
        ran.push_back(run.backend);
        EXPECT_EQ(run.request.url, "http://cdn.example/ep1.m3u8?next=https://b.example");
        EXPECT_EQ(run.request.title, request.title);
        EXPECT_EQ(run.request.episode_label, request.episode_label);
        EXPECT_EQ(run.request.resume_secs, request.resume_secs);
    }
    ASSERT_EQ(ran, c.backends_run);
    const std::string last = ran.back();
    EXPECT_TRUE(same(outcome, last == "mpv"        ? ScriptedBackends::MPV_OUTCOME
                              : last == "hardware" ? ScriptedBackends::HARDWARE_OUTCOME
                                                   : ScriptedBackends::FFMPEG_OUTCOME));
    if (ran.front() == "mpv") {
        const std::string program = c.mpv_program;
        EXPECT_EQ(scripted_.runs.front().program, program.front() == '/' ? fakes_.root(program) : program);
    }
    EXPECT_EQ(alsa_overrides_left(), !c.audio_prepared);
    const bool headset = std::find(c.device_files.begin(), c.device_files.end(), BT) != c.device_files.end();
    if (!c.audio_prepared) {
        EXPECT_EQ(fakes_.log(), Lines{}) << "no speaker or bluealsa commands";
    } else if (headset) {
        EXPECT_TRUE(fakes_.wait_for_line("/usr/bin/bluealsa -p a2dp-source", 5s));
        EXPECT_EQ(test::read_file(fakes_.root("/sys/class/speaker/mute")), "1\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Devices, LauncherChoice,
    ::testing::Values(
        SessionCase{"MpvOnPathBeatsHardware", {HW}, true, std::nullopt, {"mpv"}, "mpv", false},
        SessionCase{"SystemMpvWithHeadset", {SYSTEM_MPV, HW, BT}, false, std::nullopt, {"mpv"}, SYSTEM_MPV, false},
        SessionCase{"CardMpvFirst", {CARD_MPV, SYSTEM_MPV}, true, std::nullopt, {"mpv"}, CARD_MPV, false},
        SessionCase{"MpvFailsToHardware", {HW}, true, MpvNotStarted{false}, {"mpv", "hardware"}, "mpv", false},
        // The headset state mpv's command line was built with decides, not a
        // second look at the file.
        SessionCase{"MpvFailsWithHeadsetToFfmpeg", {HW}, true, MpvNotStarted{true}, {"mpv", "ffmpeg"}, "mpv", false},
        SessionCase{"MpvFailsWithoutHeadsetToHardware", {HW, BT}, true, MpvNotStarted{false}, {"mpv", "hardware"},
                    "mpv", false},
        SessionCase{"HardwareWithoutHeadset", {HW}, false, std::nullopt, {"hardware"}, "", true},
        SessionCase{"HeadsetNeedsFfmpeg", {HW, BT}, false, std::nullopt, {"ffmpeg"}, "", true},
        SessionCase{"NothingInstalled", {}, false, std::nullopt, {"ffmpeg"}, "", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Launcher, HeadsetRoutingBeforeANativeBackend) {
    test::write_file(fakes_.root(BT), "  11:22:33:44:55:66\n");
    test::StderrCapture capture;
    route_audio_for_native_backend();
    EXPECT_EQ(capture.text(), "[Player] Bluetooth audio device detected: 11:22:33:44:55:66\n");
    EXPECT_FALSE(alsa_overrides_left());
    EXPECT_EQ(test::read_file(fakes_.root("/sys/class/speaker/mute")), "1\n");
    // bluealsa starts in the background; the speaker commands follow at once.
    ASSERT_TRUE(fakes_.wait_for_line("/usr/bin/bluealsa -p a2dp-source", 5s));
    Lines log = fakes_.log();
    Lines speaker;
    for (const auto& line : log) {
        if (line.starts_with("tinymix")) speaker.push_back(line);
    }
    EXPECT_EQ(speaker, (Lines{"tinymix set 14 0", "tinymix set 15 0"}));
    EXPECT_EQ(log.size(), 4u) << "pgrep, bluealsa and the two mixer commands";
}

TEST_F(Launcher, WithoutHeadsetOnlyTheOverridesGo) {
    test::StderrCapture capture;
    route_audio_for_native_backend();
    EXPECT_EQ(capture.text(), "");
    EXPECT_FALSE(test::path_exists(fakes_.root("/tmp/asound_bt.conf")));
    EXPECT_FALSE(test::path_exists(fakes_.home() + "/.asoundrc"));
    EXPECT_EQ(fakes_.log(), Lines{});
}

class RefusedUrl : public Launcher, public ::testing::WithParamInterface<const char*> {};

TEST_P(RefusedUrl, ReachesNoPlayerAndEndsAtTheResumePosition) {
    test::write_file(fakes_.root(HW), "");
    test::write_file(fakes_.root(BT), "");
    fakes_.add_program("mpv");
    test::StderrCapture capture;
    PlaybackOutcome outcome = start_playback(fb_, PlayRequest{GetParam(), "T", "E", 42}, OPTIONS, scripted_.table());
    EXPECT_TRUE(scripted_.runs.empty());
    EXPECT_TRUE(same(outcome, PlaybackOutcome{42, PlaybackAction::Exited, 0}));
    const std::string refusal = "[Player] Refusing stream URL that is not http(s): " + std::string(GetParam()) + "\n";
    EXPECT_NE(capture.text().find(refusal), std::string::npos) << capture.text();
    EXPECT_TRUE(alsa_overrides_left());
    EXPECT_EQ(fakes_.log(), Lines{});
}

INSTANTIATE_TEST_SUITE_P(Urls, RefusedUrl,
                         ::testing::Values("-o/tmp/stolen", "--config=/etc/passwd", "file:///etc/shadow", "",
                                           "rtmp://live.example/a", "HTTP://cdn.example/a", " https://cdn.example/a"));

TEST_F(Launcher, RefusalWithoutResumeEndsAtZero) {
    for (std::optional<int64_t> resume : {std::optional<int64_t>{}, std::optional<int64_t>{-8}}) {
        PlaybackOutcome outcome = start_playback(fb_, PlayRequest{"-x", "T", "E", resume}, OPTIONS, scripted_.table());
        EXPECT_TRUE(same(outcome, PlaybackOutcome{0, PlaybackAction::Exited, 0}));
    }
}

TEST_F(Launcher, ProductionBackendsEndAtTheResumePosition) {
    test::write_file(fakes_.root(HW), "");
    fakes_.add_program("mpv");
    test::StderrCapture capture;
    PlaybackOutcome outcome =
        start_playback(fb_, PlayRequest{"http://cdn.example/a.m3u8", "T", "E", 61}, OPTIONS, production_backends());
    EXPECT_TRUE(same(outcome, PlaybackOutcome{61, PlaybackAction::Exited, 0}));
    EXPECT_NE(capture.text().find("[Playback] mpv back-end not available in this build\n"), std::string::npos);
}

}  // namespace
}  // namespace qz

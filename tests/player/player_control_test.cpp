// ctest-labels: host
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/unique_fd.h"
#include "player/player_control.h"
#include "process/command.h"
#include "support/env_guard.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

// ---------------------------------------------------------------- the window

struct FitCase {
    int64_t screen_w, screen_h, video_w, video_h;
    VideoWindow want;
};

TEST(FitVideoWindow, LetterboxesPillarboxesAndKeepsEveryValueEven) {
    const std::vector<FitCase> cases = {
        {1024, 768, 1920, 1080, {0, 96, 1024, 576}},   // 16:9 on the 4:3 Brick
        {1024, 768, 1440, 1080, {0, 0, 1024, 768}},    // 4:3 fills it exactly
        {1024, 768, 720, 1280, {296, 0, 432, 768}},    // portrait
        {1280, 720, 1920, 1080, {0, 0, 1280, 720}},
        {1280, 720, 1440, 1080, {160, 0, 960, 720}},
        {1024, 768, 1024, 577, {0, 96, 1024, 576}},    // odd height: lowest bit cleared
        {1024, 768, 1024, 574, {0, 96, 1024, 574}},    // odd offset 97: cleared too
        {1024, 768, 2048, 1155, {0, 94, 1024, 578}},   // 577.5 rounds up, not down
        {1024, 768, 1151, 1536, {224, 0, 576, 768}},   // 575.5 rounds up
        {1024, 768, 431, 768, {296, 0, 430, 768}},     // odd width and odd offset
        {1280, 720, 720, 1280, {438, 0, 404, 720}},    // portrait on the wide screen
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.video_w) + "x" + std::to_string(c.video_h) + " on " +
                     std::to_string(c.screen_w) + "x" + std::to_string(c.screen_h));
        auto got = fit_video_window(c.screen_w, c.screen_h, c.video_w, c.video_h);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(window_command(*got), window_command(c.want));
    }
}

TEST(FitVideoWindow, SizesBelowOneAreNoVideoSize) {
    EXPECT_FALSE(fit_video_window(1024, 768, 0, 1080));
    EXPECT_FALSE(fit_video_window(1024, 768, 1920, 0));
    EXPECT_FALSE(fit_video_window(1024, 768, -1920, -1080));
    EXPECT_FALSE(fit_video_window(0, 768, 1920, 1080));
}

TEST(PlayerCommands, SeekAndWindowTexts) {
    EXPECT_EQ(seek_command(754000), "seek 754000");
    EXPECT_EQ(seek_command(0), "seek 0");
    EXPECT_EQ(window_command(DEFAULT_VIDEO_WINDOW), "win 0 96 1024 576");
}

// ------------------------------------------------------- playlist rewriting

struct RewriteCase {
    const char* name;
    const char* url;
    std::string playlist;
    std::string want;
};

TEST(RewritePlaylist, MakesEveryLineAbsolute) {
    const char* url = "http://cdn.example/hls/show/index.m3u8";
    const std::vector<RewriteCase> cases = {
        {"relative lines get the directory", url, "#EXTM3U\n#EXTINF:10,\nseg0.ts\nsub/seg1.ts\n",
         "#EXTM3U\n#EXTINF:10,\nhttp://cdn.example/hls/show/seg0.ts\nhttp://cdn.example/hls/show/sub/seg1.ts\n"},
        {"CRLF line ends", url, "#EXTM3U\r\n#EXTINF:10,\r\nseg0.ts\r\n",
         "#EXTM3U\n#EXTINF:10,\nhttp://cdn.example/hls/show/seg0.ts\n"},
        {"blank lines dropped, spaces trimmed, last line without line end", url,
         "\n\n  seg0.ts \t\n \t \r\n\n#EXT-X-ENDLIST",
         "http://cdn.example/hls/show/seg0.ts\n#EXT-X-ENDLIST\n"},
        {"# lines untouched, URI attributes included", url,
         "#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\"\n  #EXT-X-MAP:URI=\"/init.mp4\"\n",
         "#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\"\n#EXT-X-MAP:URI=\"/init.mp4\"\n"},
        {"absolute URLs untouched", url, "http://a.example/x.ts\nhttps://b.example/y.ts\n",
         "http://a.example/x.ts\nhttps://b.example/y.ts\n"},
        {"a line that only starts like a scheme is relative", url, "httpfoo.ts\nHTTP://c.example/z.ts\n",
         "http://cdn.example/hls/show/httpfoo.ts\nhttp://cdn.example/hls/show/HTTP://c.example/z.ts\n"},
        {"/ paths get the origin", "https://cdn.example:8443/hls/show/index.m3u8", "/other/seg0.ts\n",
         "https://cdn.example:8443/other/seg0.ts\n"},
        {"a / inside the query moves neither base nor origin",
         "https://cdn.example/hls/show/index.m3u8?token=ab/cd==&exp=1", "seg0.ts\n/k/seg1.ts\n",
         "https://cdn.example/hls/show/seg0.ts\nhttps://cdn.example/k/seg1.ts\n"},
        {"without :// a / path is relative", "http:/cdn.example/hls/index.m3u8", "/seg0.ts\nseg1.ts\n",
         "http:/cdn.example/hls//seg0.ts\nhttp:/cdn.example/hls/seg1.ts\n"},
        {"empty playlist", url, "", ""},
        {"only blank lines", url, "\r\n\n   \n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rewrite_playlist(c.playlist, c.url), c.want);
    }
}

// ------------------------------------------------------ status and info files

struct StatusCase {
    const char* text;
    std::optional<PlayerStatus> want;
};

PlayerStatus status_of(std::string s, int64_t pos, int64_t dur, int64_t vol = 0, int64_t track = 0) {
    return PlayerStatus{std::move(s), pos, dur, vol, track};
}

TEST(ParsePlayerStatus, EveryKeyOptionalUnknownKeysIgnoredWrongTypesRejected) {
    const std::vector<StatusCase> cases = {
        {R"({"status":"playing","position":754000,"duration":1500000,"volume":15,"audiotrack":1})",
         status_of("playing", 754000, 1500000, 15, 1)},
        {R"({"status":"completed"})", status_of("completed", 0, 0)},
        {R"({})", status_of("", 0, 0)},
        {R"({"position":5,"subtitle":"vi","extra":{"a":[1,2.5,"x"]}})", status_of("", 5, 0)},
        {R"({"status":null,"position":null})", status_of("", 0, 0)},
        {R"({"position":-20})", status_of("", -20, 0)},
        {R"({"position":9223372036854775807})", status_of("", INT64_MAX, 0)},
        {"\n  {\"duration\": 7}\n\n", status_of("", 0, 7)},
        {R"({"position":1,"position":2})", status_of("", 2, 0)},
        // Not a status: nothing at all rather than a half-read one.
        {R"({"position":"12"})", std::nullopt},
        {R"({"position":1.5})", std::nullopt},
        {R"({"position":1e3})", std::nullopt},
        {R"({"position":true})", std::nullopt},
        {R"({"status":1})", std::nullopt},
        {R"({"volume":[10]})", std::nullopt},
        {R"({"position":9223372036854775808})", std::nullopt},
        {R"({"status":"playing","position":12)", std::nullopt},
        {"", std::nullopt},
        {"null", std::nullopt},
        {"[1,2]", std::nullopt},
        {R"("playing")", std::nullopt},
        {"{}{}", std::nullopt},
        {"{} x", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto got = parse_player_status(c.text);
        ASSERT_EQ(got.has_value(), c.want.has_value());
        if (!got) continue;
        EXPECT_EQ(got->status, c.want->status);
        EXPECT_EQ(got->position_ms, c.want->position_ms);
        EXPECT_EQ(got->duration_ms, c.want->duration_ms);
        EXPECT_EQ(got->volume, c.want->volume);
        EXPECT_EQ(got->audiotrack, c.want->audiotrack);
    }
}

TEST(ParseVideoInfo, SizesAndDuration) {
    auto full = parse_video_info(R"({"duration":5000,"width":1920,"height":1080,"codec":"h264"})");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->duration_ms, 5000);
    EXPECT_EQ(full->width, 1920);
    EXPECT_EQ(full->height, 1080);
    auto partial = parse_video_info(R"({"width":720})");
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->width, 720);
    EXPECT_EQ(partial->height, 0);
    EXPECT_FALSE(parse_video_info(R"({"width":"1920","height":1080})"));
    EXPECT_FALSE(parse_video_info(R"({"width":1920,"height":1080)"));
}

// A device root for the control files.
class PlayerFilesTest : public ::testing::Test {
protected:
    std::string control(const std::string& name) const { return root_ / ("tmp/trimui_player/" + name); }

    test::TempDir root_;
    test::EnvGuard env_{"QZ_DEVICE_ROOT", root_.path()};
};

TEST_F(PlayerFilesTest, StatusFileMissingGoodAndTooLarge) {
    EXPECT_FALSE(read_player_status());
    EXPECT_FALSE(read_video_info());

    test::write_file(control("status"), R"({"status":"playing","position":1200,"duration":90000})");
    test::write_file(control("info"), R"({"duration":90000,"width":720,"height":1280})");
    auto status = read_player_status();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->status, "playing");
    EXPECT_EQ(status->position_ms, 1200);
    auto info = read_video_info();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 720);
    EXPECT_EQ(info->height, 1280);

    // A valid document right at the cap is read; one byte more is not.
    const std::string doc = R"({"position":77})";
    test::write_file(control("status"), doc + std::string(PLAYER_FILE_MAX_BYTES - doc.size(), ' '));
    ASSERT_TRUE(read_player_status());
    EXPECT_EQ(read_player_status()->position_ms, 77);
    test::write_file(control("status"), doc + std::string(PLAYER_FILE_MAX_BYTES - doc.size() + 1, ' '));
    EXPECT_FALSE(read_player_status());
    test::write_file(control("info"), std::string(8 * 1024 * 1024, ' ') + "{}");
    EXPECT_FALSE(read_video_info());
}

TEST_F(PlayerFilesTest, StatusThatIsNoRegularFileIsSkippedWithoutBlocking) {
    test::make_dirs(control("status"));
    EXPECT_FALSE(read_player_status());
    // A pipe with no writer would block a plain open for reading forever.
    ASSERT_EQ(::mkfifo(control("info").c_str(), 0644), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(read_video_info());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(PlayerFilesTest, ControlDirectoryPreparedWithExactModes) {
    const mode_t old_mask = ::umask(022);
    const bool ready = prepare_player_control_dir();
    ::umask(old_mask);
    EXPECT_TRUE(ready);
    struct stat st {};
    ASSERT_EQ(::stat((root_ / "tmp/trimui_player").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0777u);
    ASSERT_EQ(::stat(control("cmd").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0666u);
}

TEST_F(PlayerFilesTest, PreparingKeepsThePipeAndTheRewrittenPlaylistAndDropsLastSessionsAnswers) {
    ASSERT_TRUE(prepare_player_control_dir());
    struct stat before {};
    ASSERT_EQ(::stat(control("cmd").c_str(), &before), 0);
    test::write_file(control("status"), R"({"status":"completed"})");
    test::write_file(control("info"), R"({"width":1,"height":1})");
    test::write_file(control("stream.m3u8"), "#EXTM3U\n");

    ASSERT_TRUE(prepare_player_control_dir());
    struct stat after {};
    ASSERT_EQ(::stat(control("cmd").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_FALSE(test::path_exists(control("status")));
    EXPECT_FALSE(test::path_exists(control("info")));
    EXPECT_EQ(test::read_file(control("stream.m3u8")), "#EXTM3U\n");
}

TEST_F(PlayerFilesTest, StrayFileAtThePipesNameIsReplacedByAPipe) {
    test::write_file(control("cmd"), "left over");
    EXPECT_TRUE(prepare_player_control_dir());
    struct stat st {};
    ASSERT_EQ(::stat(control("cmd").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// ------------------------------------------------------------ the command pipe

class CommandPipeTest : public PlayerFilesTest {
protected:
    void make_pipe() {
        test::make_dirs(root_ / "tmp/trimui_player");
        ASSERT_EQ(::mkfifo(control("cmd").c_str(), 0666), 0);
    }
    // Everything the pipe holds right now.
    static std::string drain(int fd) {
        std::string out;
        char buf[4096];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
        return out;
    }
};

TEST_F(CommandPipeTest, NoPipeNothingHappensAndNothingIsCreated) {
    send_player_command("pause");
    EXPECT_FALSE(test::path_exists(root_ / "tmp"));
    test::make_dirs(root_ / "tmp/trimui_player");
    send_player_command("pause");
    EXPECT_FALSE(test::path_exists(control("cmd")));
}

TEST_F(CommandPipeTest, NoReaderNeitherBlocksNorKeepsTheCommand) {
    make_pipe();
    const auto start = std::chrono::steady_clock::now();
    send_player_command("seek 754000");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    UniqueFd reader(::open(control("cmd").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(reader);
    send_player_command("pause");
    EXPECT_EQ(drain(reader.get()), "pause\n");
}

TEST_F(CommandPipeTest, ReaderGetsExactlyOneLinePerCommand) {
    make_pipe();
    UniqueFd reader(::open(control("cmd").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(reader);
    for (const char* c : {"seek 754000", "pause", "win 0 96 1024 576", "unpause", "exit"}) send_player_command(c);
    EXPECT_EQ(drain(reader.get()), "seek 754000\npause\nwin 0 96 1024 576\nunpause\nexit\n");
}

TEST_F(CommandPipeTest, RegularFileAtThePipesNameIsLeftAlone) {
    test::write_file(control("cmd"), "player notes\n");
    send_player_command("exit");
    EXPECT_EQ(test::read_file(control("cmd")), "player notes\n");
}

// The sending side of the reader test below, run in a forked child: it
// sends for a while and reports through its exit code whether the signal
// state is as it was (0), the mask changed (2) or a SIGPIPE is pending (3).
[[noreturn]] void send_until_deadline_and_report() {
    sigset_t mask_before;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask_before);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < deadline) send_player_command("pause");
    sigset_t mask_after;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask_after);
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&mask_after, SIGPIPE) != sigismember(&mask_before, SIGPIPE)) ::_exit(2);
    ::_exit(sigismember(&pending, SIGPIPE) == 1 ? 3 : 0);
}

// A player that opens the pipe and lets go again at once: some writes land
// after the reader left, which raises SIGPIPE. The program must live on,
// with its signal mask as it was and no SIGPIPE left pending.
TEST_F(CommandPipeTest, ReaderLeavingMidCommandDoesNotKillTheProgram) {
    GTEST_FLAG_SET(death_test_style, "fast");
    make_pipe();
    auto spawned = spawn_shell("while :; do : < '" + control("cmd") + "'; done");
    ASSERT_TRUE(std::holds_alternative<ChildProcess>(spawned));
    EXPECT_EXIT(send_until_deadline_and_report(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qz

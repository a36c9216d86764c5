// ctest-labels: threads
// Runs the real executable under a temporary device root: a regular file as
// "/dev/fb0" (it opens but cannot be mapped, so the program draws into memory
// while the input thread runs) and named pipes as the four evdev nodes.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/child.h"
#include "support/evdev_fifo.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

using namespace std::chrono_literals;

const std::string BANNER =
    "=================================================\n"
    " \xF0\x9F\x9A\x80 Starting QZ-NUVALTO for TrimUI (All Media)\n"
    " Version: 1.0.0\n"
    "=================================================\n";
const std::string EXIT_LINE = "Exiting QZ-Nuvalto...\n";
const std::string RESTORE_LINE = "[Native] Restoring Allwinner display layer to opaque mode...\n";
const std::string NO_NODES = "[Input] Notice: No evdev event nodes opened.\n";

constexpr uint16_t KEY = 1, ABS = 3;

// Long enough to tell "ignored" from "not yet handled" on a loaded machine:
// the program reads within a few milliseconds and handles within one frame.
constexpr auto SETTLE = 300ms;

class Program : public ::testing::Test {
protected:
    std::string root() const { return dir_ / "root"; }
    void add_framebuffer_file() { test::write_file(dir_ / "root/dev/fb0", ""); }
    void add_event_fifos() { fifos_ = test::make_app_event_fifos(root()); }
    test::ChildOptions child_options(std::vector<std::string> args,
                                     std::map<std::string, std::optional<std::string>> env) {
        test::make_dirs(dir_ / "root");
        test::make_dirs(dir_ / "work");
        test::ChildOptions options = test::options_under_root(test::program_path(), dir_.path());
        options.args = std::move(args);
        env.insert_or_assign("QZ_DEVICE_ROOT", root());
        options.env = std::move(env);
        options.stack_limit = stack_limit_;
        return options;
    }
    void start(std::vector<std::string> args = {}, std::map<std::string, std::optional<std::string>> env = {}) {
        child_ = std::make_unique<test::Child>(child_options(std::move(args), std::move(env)));
    }
    // Starts with a stale B press waiting in every node and returns once the
    // program's initial flush took them all; from then on writes are read by
    // the polling loop.
    void start_and_pass_flush(std::vector<std::string> args = {}) {
        ASSERT_TRUE(test::start_past_flush(child_, child_options(std::move(args), {}), fifos_));
    }
    void expect_clean_exit() {
        std::optional<int> status = child_->wait_exit();
        ASSERT_EQ(status, 0) << child_->stderr_text();
        const std::string err = child_->stderr_text();
        EXPECT_EQ(err.rfind(BANNER, 0), 0u) << err;
        EXPECT_EQ(test::count_of(err, EXIT_LINE), 1u) << err;
        EXPECT_TRUE(err.ends_with(EXIT_LINE)) << err;
    }

    test::TempDir dir_;
    test::AppEventFifos fifos_;
    std::optional<unsigned long long> stack_limit_;
    std::unique_ptr<test::Child> child_;
};

struct ResetCase {
    const char* name;
    std::vector<std::string> args;
    bool framebuffer;
    bool disp_file;
    std::string expected_stderr;
};
void PrintTo(const ResetCase& c, std::ostream* os) { *os << c.name; }

class ResetDisplay : public Program, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(ResetDisplay, RestoresAndExitsWithoutBanner) {
    const ResetCase& c = GetParam();
    if (c.framebuffer) add_framebuffer_file();
    if (c.disp_file) test::write_file(dir_ / "root/dev/disp", "");
    start(c.args);
    ASSERT_EQ(child_->wait_exit(), 0) << child_->stderr_text();
    EXPECT_EQ(child_->stderr_text(), c.expected_stderr);
    EXPECT_FALSE(test::path_exists(dir_ / "root/tmp/qz_nuvalto_cache")) << "start-up ran";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResetDisplay,
    ::testing::Values(
        ResetCase{"NoFramebufferDoesNothingMore", {"--reset-disp"}, false, false, RESTORE_LINE},
        ResetCase{"AnyPosition", {"one", "--reset-disp", "two"}, false, false, RESTORE_LINE},
        ResetCase{"NoDisplayDriver", {"--reset-disp"}, true, false,
                  RESTORE_LINE +
                      "[Player] Cannot open /dev/disp (No such file or directory). Skipping display layer "
                      "transparency.\n"},
        ResetCase{"DriverRequestFails", {"--reset-disp"}, true, true,
                  RESTORE_LINE + "[Player] /dev/disp DISP_LAYER_GET_CONFIG failed.\n"}),
    [](const ::testing::TestParamInfo<ResetCase>& info) { return std::string(info.param.name); });

TEST_F(Program, LongerArgumentStartsNormallyAndBEnds) {
    add_framebuffer_file();
    add_event_fifos();
    start_and_pass_flush({"--reset-disp-now"});
    EXPECT_EQ(child_->stderr_text().find("[Native]"), std::string::npos);
    fifos_[0]->write_event(KEY, 304, 1);
    expect_clean_exit();
    EXPECT_TRUE(test::is_directory(dir_ / "root/tmp/qz_nuvalto_cache"));
}

struct ExitCase {
    const char* name;
    int node;
    std::vector<uint8_t> bytes;
};
void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

std::vector<uint8_t> with_tail(std::vector<uint8_t> bytes, size_t extra) {
    bytes.insert(bytes.end(), extra, 0x11);
    return bytes;
}

class ExitInput : public Program, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitInput, EndsTheProgramWithStatusZero) {
    add_framebuffer_file();
    add_event_fifos();
    start_and_pass_flush();
    fifos_[GetParam().node]->write_bytes(GetParam().bytes);
    expect_clean_exit();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitInput,
    ::testing::Values(ExitCase{"SouthPress", 0, test::evdev_records({{KEY, 304, 1}})},
                      ExitCase{"EscapeOnLastNode", 3, test::evdev_records({{KEY, 1, 1}})},
                      ExitCase{"AutoRepeatCounts", 1, test::evdev_records({{KEY, 304, 2}})},
                      ExitCase{"ThirtyByteRead", 2, with_tail(test::evdev_records({{KEY, 304, 1}}), 6)},
                      ExitCase{"AfterOtherEventsInOneRead", 0,
                               test::evdev_records({{ABS, 0, -32767}, {KEY, 305, 1}, {0, 0, 0}, {KEY, 304, 1}})}),
    [](const ::testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

struct IgnoredCase {
    const char* name;
    std::vector<uint8_t> bytes;
};
void PrintTo(const IgnoredCase& c, std::ostream* os) { *os << c.name; }

class IgnoredInput : public Program, public ::testing::WithParamInterface<IgnoredCase> {};

TEST_P(IgnoredInput, KeepsRunningUntilB) {
    add_framebuffer_file();
    add_event_fifos();
    start_and_pass_flush();
    fifos_[1]->write_bytes(GetParam().bytes);
    ASSERT_TRUE(fifos_[1]->wait_drained());
    std::this_thread::sleep_for(SETTLE);
    ASSERT_TRUE(child_->running()) << child_->stderr_text();
    fifos_[0]->write_event(KEY, 304, 1);
    expect_clean_exit();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IgnoredInput,
    ::testing::Values(IgnoredCase{"StickAtThresholds", test::evdev_records({{ABS, 0, 16000}, {ABS, 0, -16000},
                                                                            {ABS, 1, 16000}, {ABS, 1, -16000}})},
                      IgnoredCase{"ReleaseOfB", test::evdev_records({{KEY, 304, 0}})},
                      IgnoredCase{"EastIsA", test::evdev_records({{KEY, 305, 1}})},
                      IgnoredCase{"ShortRead", [] {
                                      auto b = test::evdev_records({{KEY, 304, 1}});
                                      b.resize(23);
                                      return b;
                                  }()}),
    [](const ::testing::TestParamInfo<IgnoredCase>& info) { return std::string(info.param.name); });

TEST_F(Program, WithoutEventNodesTheNoticeIsLoggedOnce) {
    add_framebuffer_file();
    start();
    ASSERT_TRUE(child_->wait_for_stderr(NO_NODES)) << child_->stderr_text();
    std::this_thread::sleep_for(SETTLE);
    EXPECT_TRUE(child_->running()) << child_->stderr_text();
    EXPECT_EQ(test::count_of(child_->stderr_text(), NO_NODES), 1u) << child_->stderr_text();
}

struct NoInputCase {
    const char* name;
    std::optional<std::string> simulator;
    bool framebuffer;
    const char* framebuffer_notice;
};
void PrintTo(const NoInputCase& c, std::ostream* os) { *os << c.name; }

class NoInputThread : public Program, public ::testing::WithParamInterface<NoInputCase> {};

TEST_P(NoInputThread, NodesAreNeverReadButTheLoopRuns) {
    const NoInputCase& c = GetParam();
    if (c.framebuffer) add_framebuffer_file();
    add_event_fifos();
    fifos_[0]->write_event(KEY, 304, 1);
    start({}, {{"TRIMUI_SIMULATOR", c.simulator}});
    ASSERT_TRUE(child_->wait_for_stderr(c.framebuffer_notice)) << child_->stderr_text();
    std::this_thread::sleep_for(SETTLE);
    EXPECT_TRUE(child_->running()) << child_->stderr_text();
    EXPECT_EQ(fifos_[0]->pending(), 24) << "someone read the node";
    EXPECT_EQ(child_->stderr_text().find("[Input]"), std::string::npos) << child_->stderr_text();
    EXPECT_EQ(child_->stderr_text().rfind(BANNER, 0), 0u) << child_->stderr_text();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NoInputThread,
    ::testing::Values(NoInputCase{"ForcedSimulator", "TRUE", true, "(Forced simulator mode). Initializing"},
                      NoInputCase{"NoFramebufferNode", "yes", false, "(No such file or directory). Initializing"}),
    [](const ::testing::TestParamInfo<NoInputCase>& info) { return std::string(info.param.name); });

// A default thread stack larger than memory makes thread creation fail.
TEST_F(Program, ThreadThatCannotStartStopsTheProgram) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "sanitizer runtimes do not start under this stack limit";
#endif
    add_framebuffer_file();
    add_event_fifos();
    stack_limit_ = 1ULL << 42;
    start();
    std::optional<int> status = child_->wait_exit();
    ASSERT_TRUE(status.has_value()) << "did not exit\n" << child_->stderr_text();
    EXPECT_NE(*status, 0);
    const std::string err = child_->stderr_text();
    EXPECT_NE(err.find("failed to spawn thread\n"), std::string::npos) << err;
    EXPECT_EQ(err.find(EXIT_LINE), std::string::npos) << err;
}

}  // namespace
}  // namespace qz

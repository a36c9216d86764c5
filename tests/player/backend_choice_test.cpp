// ctest-labels: host
#include "player/backend_choice.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/env_guard.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

struct ChoiceCase {
    const char* name;
    PlayerProbe probe;
    Backend backend;
    Backend native;       // where a failed mpv start falls back to
    const char* program;  // the mpv to run
};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class BackendChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(BackendChoice, FollowsWhatWasFound) {
    const ChoiceCase& c = GetParam();
    EXPECT_EQ(choose_backend(c.probe), c.backend);
    EXPECT_EQ(choose_native_backend(c.probe), c.native);
    EXPECT_EQ(mpv_program(c.probe), c.program);
}

constexpr Backend MPV = Backend::Mpv;
constexpr Backend HW = Backend::HardwarePlayer;
constexpr Backend FF = Backend::FfmpegPipeline;

// Fields: mpv on PATH, /usr/bin/mpv, card mpv, tplayerslave, headset.
INSTANTIATE_TEST_SUITE_P(
    Probes, BackendChoice,
    ::testing::Values(ChoiceCase{"Nothing", {false, false, false, false, false}, FF, FF, "mpv"},
                      ChoiceCase{"HardwareOnly", {false, false, false, true, false}, HW, HW, "mpv"},
                      ChoiceCase{"HardwareWithHeadset", {false, false, false, true, true}, FF, FF, "mpv"},
                      ChoiceCase{"HeadsetOnly", {false, false, false, false, true}, FF, FF, "mpv"},
                      ChoiceCase{"MpvOnPathBeatsHardware", {true, false, false, true, false}, MPV, HW, "mpv"},
                      ChoiceCase{"SystemMpvWithHeadset", {false, true, false, true, true}, MPV, FF, "/usr/bin/mpv"},
                      ChoiceCase{"SystemFileBeatsPath", {true, true, false, false, false}, MPV, FF, "/usr/bin/mpv"},
                      ChoiceCase{"CardMpvFirst", {true, true, true, true, false}, MPV, HW,
                                 "/mnt/SDCARD/System/bin/mpv"},
                      ChoiceCase{"CardMpvOnly", {false, false, true, false, false}, MPV, FF,
                                 "/mnt/SDCARD/System/bin/mpv"}),
    [](const auto& info) { return std::string(info.param.name); });

// The probe reads the device root and the search path, nothing else.
class PlayerProbeTest : public ::testing::Test {
protected:
    void SetUp() override { test::make_dirs(bin_); }

    void make_program(const std::string& path, mode_t mode = 0755) {
        test::write_file(path, "#!/bin/sh\nexit 0\n");
        ::chmod(path.c_str(), mode);
    }

    test::TempDir root_;
    test::TempDir other_;
    std::string bin_ = other_ / "bin";
    test::EnvGuard device_root_{"QZ_DEVICE_ROOT", root_.path()};
    test::EnvGuard path_{"PATH", other_ / "empty" + ":" + bin_};
};

TEST_F(PlayerProbeTest, EmptyDeviceFindsNothing) { EXPECT_EQ(probe_players(), PlayerProbe{}); }

TEST_F(PlayerProbeTest, EachFileUnderTheRootSetsItsOwnField) {
    test::write_file(root_ / "usr/bin/tplayerslave", "");
    test::write_file(root_ / "tmp/btdev_addr", "");
    EXPECT_EQ(probe_players(), (PlayerProbe{false, false, false, true, true}));

    make_program(root_ / "usr/bin/mpv");
    make_program(root_ / "mnt/SDCARD/System/bin/mpv");
    EXPECT_EQ(probe_players(), (PlayerProbe{false, true, true, true, true}));
}

TEST_F(PlayerProbeTest, OnlyAnExecutableFileOnThePathCounts) {
    test::make_dirs(bin_ + "/mpv");
    EXPECT_FALSE(probe_players().mpv_on_path) << "a directory named mpv";
    ::rmdir((bin_ + "/mpv").c_str());
    make_program(bin_ + "/mpv", 0644);
    EXPECT_FALSE(probe_players().mpv_on_path) << "not executable";
    ::chmod((bin_ + "/mpv").c_str(), 0755);
    EXPECT_EQ(probe_players(), (PlayerProbe{true, false, false, false, false}));
}

TEST_F(PlayerProbeTest, MpvOutsideTheRootIsNotTheDevicesMpv) {
    // A system mpv of the machine running the tests must not count: only the
    // device root's /usr/bin/mpv does.
    test::write_file(other_ / "usr/bin/mpv", "");
    EXPECT_FALSE(probe_players().system_mpv);
}

}  // namespace
}  // namespace qz

// ctest-labels: threads
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "graphics/framebuffer.h"
#include "main/device_detect.h"
#include "main/paths.h"
#include "main/startup.h"
#include "support/env_guard.h"
#include "support/files.h"
#include "support/stderr_capture.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

using namespace std::chrono_literals;

struct ProfileCase {
    const char* name;
    std::optional<std::string> model_file;
    std::optional<std::string> trimui_device;
    DeviceProfile expected;
};
void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.name; }

class ProfileSources : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileSources, ModelFileWinsOverTheVariable) {
    const ProfileCase& c = GetParam();
    EXPECT_EQ(profile_from_sources(c.model_file, c.trimui_device ? c.trimui_device->c_str() : nullptr), c.expected);
}

const auto BRICK = DeviceProfile::Brick;
const auto STANDARD = DeviceProfile::Standard;

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileSources,
    ::testing::Values(
        ProfileCase{"FileWithWhiteSpace", " \t TrimUI Brick \r\n", std::nullopt, BRICK},
        ProfileCase{"FileOtherModelBeatsVariable", "TrimUI Smart Pro\n", "brick", STANDARD},
        ProfileCase{"EmptyFileStillCounts", "", "brick", STANDARD},
        ProfileCase{"UnicodeSpaceTrimmed", "\xE3\x80\x80" "BRICK\xC2\xA0", std::nullopt, BRICK},
        ProfileCase{"KelvinSignLowersToK", "BRIC\xE2\x84\xAA", std::nullopt, BRICK},
        ProfileCase{"NoFileVariableUpperCase", std::nullopt, "BRICK", BRICK},
        ProfileCase{"NoFileVariableUntrimmedStillContains", std::nullopt, "  Trimui-Brick  ", BRICK},
        ProfileCase{"NoFileNoVariable", std::nullopt, std::nullopt, STANDARD},
        ProfileCase{"NoFileOtherVariable", std::nullopt, "smartpro", STANDARD},
        ProfileCase{"InvalidFileFallsBackToVariable", "\xFF brick", "Brick", BRICK},
        ProfileCase{"InvalidFileOtherVariable", "\xFF brick", "smartpro", STANDARD},
        ProfileCase{"InvalidVariableIgnored", std::nullopt, "\xFF" "brick", STANDARD},
        ProfileCase{"SplitWordDoesNotCount", "bri ck", std::nullopt, STANDARD}),
    [](const ::testing::TestParamInfo<ProfileCase>& info) { return std::string(info.param.name); });

// The same decisions through the real file under a device root.
class DeviceRoot : public ::testing::Test {
protected:
    test::TempDir root_;
    test::EnvGuard env_{"QZ_DEVICE_ROOT", root_.path()};
    // The host's own settings must not decide these tests.
    test::EnvGuard device_{"TRIMUI_DEVICE", std::nullopt};
    test::EnvGuard simulator_{"TRIMUI_SIMULATOR", std::nullopt};
};

TEST_F(DeviceRoot, ProfileReadsTheModelFileUnderTheRoot) {
    test::EnvGuard device("TRIMUI_DEVICE", "smartpro");
    test::write_file(root_ / "etc/trimui_device.txt", "\n  TrimUI Brick\n");
    EXPECT_EQ(detect_device_profile(), DeviceProfile::Brick);
    test::write_file(root_ / "etc/trimui_device.txt", "TrimUI Smart Pro");
    EXPECT_EQ(detect_device_profile(), DeviceProfile::Standard);
}

TEST_F(DeviceRoot, UnreadableModelFileFallsBackToTheVariable) {
    test::EnvGuard device("TRIMUI_DEVICE", "BRICK");
    EXPECT_EQ(read_model_file(), std::nullopt);
    EXPECT_EQ(detect_device_profile(), DeviceProfile::Brick);
    // A directory where the file should be opens but cannot be read.
    test::make_dirs(root_ / "etc/trimui_device.txt");
    EXPECT_EQ(read_model_file(), std::nullopt);
    EXPECT_EQ(detect_device_profile(), DeviceProfile::Brick);
}

struct SimulatorCase {
    std::optional<std::string> value;
    bool forced;
};
void PrintTo(const SimulatorCase& c, std::ostream* os) {
    if (!c.value) {
        *os << "unset";
    } else {
        // Bytes outside ASCII as hex, so test names stay valid text.
        *os << '"';
        for (unsigned char ch : *c.value) {
            if (ch < 0x80) {
                *os << ch;
            } else {
                *os << "\\x" << std::hex << int(ch) << std::dec;
            }
        }
        *os << '"';
    }
    *os << (c.forced ? " forces" : " does not force");
}

class SimulatorSwitch : public ::testing::TestWithParam<SimulatorCase> {};

TEST_P(SimulatorSwitch, OnlyOneOrTrueForce) {
    test::EnvGuard env("TRIMUI_SIMULATOR", GetParam().value);
    EXPECT_EQ(simulator_forced(), GetParam().forced) << GetParam().value.value_or("(unset)");
}

INSTANTIATE_TEST_SUITE_P(Cases, SimulatorSwitch,
                         ::testing::Values(SimulatorCase{"TRUE", true}, SimulatorCase{"true", true},
                                           SimulatorCase{"tRuE", true}, SimulatorCase{"1", true},
                                           SimulatorCase{"yes", false}, SimulatorCase{"0", false},
                                           SimulatorCase{"", false}, SimulatorCase{" 1", false},
                                           SimulatorCase{"true ", false}, SimulatorCase{"01", false},
                                           SimulatorCase{"tru\xFF", false}, SimulatorCase{std::nullopt, false}));

TEST_F(DeviceRoot, WithoutAppDirFilesLiveInTheWorkingDirectoryAndTmp) {
    EXPECT_FALSE(app_dir_exists());
    EXPECT_EQ(data_dir(), ".");
    EXPECT_EQ(history_path(), "./history.json");
    EXPECT_EQ(catalog_cache_path(), "./catalog_cache.json");
    EXPECT_EQ(thumbnail_dir(), root_ / "tmp/qz_nuvalto_cache");
}

TEST_F(DeviceRoot, WithAppDirEverythingLivesThere) {
    test::make_dirs(root_ / "mnt/SDCARD/Apps/qz-nuvalto");
    const std::string app = root_ / "mnt/SDCARD/Apps/qz-nuvalto";
    EXPECT_TRUE(app_dir_exists());
    EXPECT_EQ(data_dir(), app);
    EXPECT_EQ(history_path(), app + "/history.json");
    EXPECT_EQ(catalog_cache_path(), app + "/catalog_cache.json");
    EXPECT_EQ(thumbnail_dir(), app + "/cache");
}

TEST_F(DeviceRoot, CatalogCachePathFollowsTheAppDirectoryAppearing) {
    EXPECT_EQ(catalog_cache_path(), "./catalog_cache.json");
    test::make_dirs(root_ / "mnt/SDCARD/Apps/qz-nuvalto");
    EXPECT_EQ(catalog_cache_path(), root_ / "mnt/SDCARD/Apps/qz-nuvalto/catalog_cache.json");
}

TEST(CreateDirAll, MakesEveryMissingLevelWithFullPermissions) {
    test::TempDir dir;
    const mode_t old_mask = ::umask(0);
    const bool made = create_dir_all(dir / "a/b/c");
    ::umask(old_mask);
    ASSERT_TRUE(made);
    for (const char* level : {"a", "a/b", "a/b/c"}) {
        struct stat st{};
        ASSERT_EQ(::stat((dir / level).c_str(), &st), 0) << level;
        EXPECT_EQ(st.st_mode & 07777, 0777u) << level;
    }
    EXPECT_TRUE(create_dir_all(dir / "a/b/c")) << "an existing directory is fine";
}

TEST(CreateDirAll, FailsWhenAFileIsInTheWay) {
    test::TempDir dir;
    test::write_file(dir / "a", "x");
    EXPECT_FALSE(create_dir_all(dir / "a/b"));
    EXPECT_FALSE(create_dir_all(dir / "a"));
}

struct ArgsCase {
    std::vector<std::string> args;
    bool reset;
};
void PrintTo(const ArgsCase& c, std::ostream* os) {
    *os << "argv";
    for (const auto& a : c.args) *os << " " << a;
    *os << (c.reset ? " resets" : " starts");
}

class ResetArgument : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(ResetArgument, OnlyAnExactArgumentAfterTheProgramName) {
    EXPECT_EQ(wants_display_reset(GetParam().args), GetParam().reset);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResetArgument,
    ::testing::Values(ArgsCase{{"qz-nuvalto", "--reset-disp"}, true},
                      ArgsCase{{"qz-nuvalto", "-v", "--reset-disp", "x"}, true},
                      ArgsCase{{"qz-nuvalto", "--reset-disp-now"}, false},
                      ArgsCase{{"qz-nuvalto", "--RESET-DISP"}, false}, ArgsCase{{"qz-nuvalto", "reset-disp"}, false},
                      ArgsCase{{"qz-nuvalto", "--reset-disp="}, false}, ArgsCase{{"--reset-disp"}, false},
                      ArgsCase{{"qz-nuvalto"}, false}, ArgsCase{{}, false}));

struct InputCase {
    bool simulator;
    bool framebuffer_node;
    bool start;
};
void PrintTo(const InputCase& c, std::ostream* os) {
    *os << (c.simulator ? "simulator" : "device") << (c.framebuffer_node ? " with fb0" : " without fb0");
}

class InputDecision : public DeviceRoot, public ::testing::WithParamInterface<InputCase> {};

TEST_P(InputDecision, NeedsTheNodeAndNoForcedSimulator) {
    if (GetParam().framebuffer_node) test::write_file(root_ / "dev/fb0", "");
    EXPECT_EQ(should_start_input(GetParam().simulator), GetParam().start);
}

INSTANTIATE_TEST_SUITE_P(Cases, InputDecision,
                         ::testing::Values(InputCase{false, true, true}, InputCase{true, true, false},
                                           InputCase{false, false, false}, InputCase{true, false, false}));

StartupOptions build_options() {
    StartupOptions options;
    options.config = build_app_config();
    return options;
}

// Without a framebuffer node no thread starts, so this runs in-process.
TEST_F(DeviceRoot, StartUpWithoutFramebufferUsesTheProfileSizeAndHasNoInput) {
    test::write_file(root_ / "etc/trimui_device.txt", "TrimUI Brick");
    test::make_dirs(root_ / "mnt/SDCARD/Apps/qz-nuvalto");
    test::StderrCapture capture;
    std::unique_ptr<StartupContext> ctx = start_up(build_options());
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->profile, DeviceProfile::Brick);
    EXPECT_EQ(ctx->framebuffer.width(), 1024u);
    EXPECT_EQ(ctx->framebuffer.height(), 768u);
    EXPECT_FALSE(ctx->framebuffer.has_device());
    // The sending end is gone, so the channel reports closed at once.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ctx->input.recv_for(5s), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(test::is_directory(root_ / "mnt/SDCARD/Apps/qz-nuvalto/cache"));
    EXPECT_EQ(ctx->paths.history, root_ / "mnt/SDCARD/Apps/qz-nuvalto/history.json");
    EXPECT_EQ(capture.text().find("[Input]"), std::string::npos);
}

TEST_F(DeviceRoot, StartUpCreatesTheFallbackThumbnailDirectory) {
    test::StderrCapture capture;
    std::unique_ptr<StartupContext> ctx = start_up(build_options());
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->profile, DeviceProfile::Standard);
    EXPECT_EQ(ctx->framebuffer.width(), 1280u);
    EXPECT_TRUE(test::is_directory(root_ / "tmp/qz_nuvalto_cache"));
    EXPECT_EQ(ctx->paths.catalog_cache, "./catalog_cache.json");
}

}  // namespace
}  // namespace qz

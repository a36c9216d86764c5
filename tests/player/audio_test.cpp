// ctest-labels: host
#include "player/audio.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/play_fakes.h"

namespace qz {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

struct VolumeTextCase {
    const char* name;
    const char* text;
    uint32_t level;
};

void PrintTo(const VolumeTextCase& c, std::ostream* os) { *os << c.name; }

class StoredVolumeText : public ::testing::TestWithParam<VolumeTextCase> {};

TEST_P(StoredVolumeText, NonNegativeIntegersCappedElseDefault) {
    EXPECT_EQ(stored_volume_from(GetParam().text), GetParam().level);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, StoredVolumeText,
    ::testing::Values(VolumeTextCase{"Plain", R"({"vol": 7, "bright": 3})", 7},
                      VolumeTextCase{"Zero", R"({"vol":0})", 0},
                      VolumeTextCase{"Max", R"({"vol":20})", 20},
                      VolumeTextCase{"CappedAbove", R"({"vol":35})", 20},
                      VolumeTextCase{"HugeInteger", R"({"vol":18446744073709551615})", 20},
                      VolumeTextCase{"SpacesAround", " \n\t{\"vol\": 4}\r\n ", 4},
                      VolumeTextCase{"Negative", R"({"vol":-3})", 10},
                      VolumeTextCase{"Fraction", R"({"vol":7.5})", 10},
                      VolumeTextCase{"WholeFloat", R"({"vol":7.0})", 10},
                      VolumeTextCase{"String", R"({"vol":"7"})", 10},
                      VolumeTextCase{"Boolean", R"({"vol":true})", 10},
                      VolumeTextCase{"Null", R"({"vol":null})", 10},
                      VolumeTextCase{"NoVol", R"({"volume":7})", 10},
                      VolumeTextCase{"NotAnObject", "[7]", 10},
                      VolumeTextCase{"Broken", R"({"vol":7)", 10},
                      VolumeTextCase{"TrailingValue", R"({"vol":7} 8)", 10},
                      VolumeTextCase{"Empty", "", 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MixerAttenuation, FiftyEightAtSilenceDownToZero) {
    const std::vector<std::pair<uint32_t, uint32_t>> table = {{0, 58},  {1, 55}, {7, 37}, {10, 29},
                                                              {19, 2}, {20, 0}, {25, 0}};
    for (auto [level, value] : table) EXPECT_EQ(mixer_attenuation(level), value) << "level " << level;
}

// A console under a device root, with the firmware's volume tools and the
// mixer programs as fakes that log their command lines.
class AudioDevice : public ::testing::Test {
protected:
    void SetUp() override {
        test::write_file(fakes_.root("/dev/fb0"), "");
        test::make_dirs(fakes_.root("/sys/class/speaker"));
        fakes_.add_device_program("/usr/trimui/bin/systemval");
        fakes_.add_device_program("/usr/trimui/osd/show_volume_msg.sh");
        for (const char* tool : {"tinymix", "amixer", "pgrep"}) fakes_.add_program(tool);
    }

    std::string speaker_mute() const { return test::read_file(fakes_.root("/sys/class/speaker/mute")); }

    test::PlayFakes fakes_;
};

TEST_F(AudioDevice, StoredVolumeComesFromTheFirmwareSettings) {
    EXPECT_EQ(read_stored_volume(), 10u) << "no settings file";
    test::write_file(fakes_.root("/mnt/UDISK/system.json"), R"({"vol": 35, "lang": "vi"})");
    EXPECT_EQ(read_stored_volume(), 20u);
    test::write_file(fakes_.root("/mnt/UDISK/system.json"), R"({"vol": 3})");
    EXPECT_EQ(read_stored_volume(), 3u);
}

const Lines MIXER_7 = {"amixer sset Master 35%", "tinymix set 3 37", "tinymix set 10 1", "tinymix set 6 22"};
const Lines UNMUTED = {"tinymix set 13 1",       "tinymix set 14 1",       "tinymix set 15 1",
                       "tinymix set 16 255 255", "tinymix set 7 255 255"};
const Lines FULL_GAIN = {"tinymix set 16 255 255", "tinymix set 7 255 255"};
const Lines MUTED = {"tinymix set 14 0", "tinymix set 15 0"};

Lines join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct ApplyCase {
    const char* name;
    uint32_t level;
    bool message;
    bool headset;
    Lines commands;
    const char* speaker_mute;
};

void PrintTo(const ApplyCase& c, std::ostream* os) { *os << c.name; }

class ApplyVolume : public AudioDevice, public ::testing::WithParamInterface<ApplyCase> {};

TEST_P(ApplyVolume, RunsTheFirmwareAndMixerCommandsInOrder) {
    const ApplyCase& c = GetParam();
    if (c.headset) test::write_file(fakes_.root("/tmp/btdev_addr"), "11:22:33:44:55:66\n");
    apply_volume(c.level, c.message);
    EXPECT_EQ(fakes_.log(), c.commands);
    EXPECT_EQ(speaker_mute(), c.speaker_mute);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, ApplyVolume,
    ::testing::Values(
        ApplyCase{"SevenWithMessage", 7, true, false,
                  join({{"/usr/trimui/bin/systemval vol 7", "/usr/trimui/osd/show_volume_msg.sh 7"}, MIXER_7, UNMUTED}),
                  "0\n"},
        ApplyCase{"SevenQuietly", 7, false, false, join({{"/usr/trimui/bin/systemval vol 7"}, MIXER_7, UNMUTED}),
                  "0\n"},
        ApplyCase{"TwentyFullScale", 20, false, false,
                  join({{"/usr/trimui/bin/systemval vol 20", "amixer sset Master 100%", "tinymix set 3 0",
                         "tinymix set 10 1", "tinymix set 6 22"},
                        UNMUTED}),
                  "0\n"},
        ApplyCase{"AboveTwentyIsCapped", 33, true, false,
                  join({{"/usr/trimui/bin/systemval vol 20", "/usr/trimui/osd/show_volume_msg.sh 20",
                         "amixer sset Master 100%", "tinymix set 3 0", "tinymix set 10 1", "tinymix set 6 22"},
                        UNMUTED}),
                  "0\n"},
        // Muting never runs an unmute command, not even the gain ones.
        ApplyCase{"ZeroMutes", 0, true, false,
                  join({{"/usr/trimui/bin/systemval vol 0", "/usr/trimui/osd/show_volume_msg.sh 0",
                         "amixer sset Master 0%", "tinymix set 3 58", "tinymix set 10 1", "tinymix set 6 22"},
                        MUTED}),
                  "1\n"},
        ApplyCase{"ZeroWithHeadset", 0, false, true,
                  join({{"/usr/trimui/bin/systemval vol 0", "amixer sset Master 0%", "tinymix set 3 58",
                         "tinymix set 10 1", "tinymix set 6 22"},
                        MUTED}),
                  "1\n"},
        ApplyCase{"HeadsetKeepsSpeakerMuted", 7, true, true,
                  join({{"/usr/trimui/bin/systemval vol 7", "/usr/trimui/osd/show_volume_msg.sh 7"}, MIXER_7, MUTED,
                        FULL_GAIN}),
                  "1\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AudioDevice, WithoutFramebufferNothingRunsAtAll) {
    ::unlink(fakes_.root("/dev/fb0").c_str());
    test::write_file(fakes_.root("/tmp/btdev_addr"), "");
    for (uint32_t level : {0u, 7u, 20u}) apply_volume(level, true);
    EXPECT_EQ(fakes_.log(), Lines{});
    EXPECT_FALSE(test::path_exists(fakes_.root("/sys/class/speaker/mute")));
}

TEST_F(AudioDevice, HeadsetAddressIsTheTrimmedFile) {
    EXPECT_EQ(bluetooth_headset(), std::nullopt);
    test::write_file(fakes_.root("/tmp/btdev_addr"), "  AA:BB:CC:DD:EE:FF \r\n");
    EXPECT_EQ(bluetooth_headset(), "AA:BB:CC:DD:EE:FF");
    test::write_file(fakes_.root("/tmp/btdev_addr"), "");
    EXPECT_EQ(bluetooth_headset(), "") << "an empty file is still a headset";
    ::unlink(fakes_.root("/tmp/btdev_addr").c_str());
    test::make_dirs(fakes_.root("/tmp/btdev_addr"));
    EXPECT_EQ(bluetooth_headset(), "") << "present but unreadable";
}

TEST_F(AudioDevice, BluealsaStartsOnlyWhenNotRunning) {
    fakes_.add_device_program("/usr/bin/bluealsa");
    fakes_.add_program("pgrep", 1);
    start_bluealsa();
    EXPECT_TRUE(fakes_.wait_for_line("/usr/bin/bluealsa -p a2dp-source", 5s));
    EXPECT_EQ(fakes_.log(), (Lines{"pgrep -x bluealsa", "/usr/bin/bluealsa -p a2dp-source"}));

    fakes_.clear_log();
    fakes_.add_program("pgrep", 0);
    start_bluealsa();
    ASSERT_TRUE(fakes_.wait_for_line("pgrep -x bluealsa", 5s));
    EXPECT_FALSE(fakes_.wait_for_line("/usr/bin/bluealsa -p a2dp-source", 300ms));
}

TEST_F(AudioDevice, AlsaOverridesAreRemovedAndNothingElse) {
    for (const char* path : {"/tmp/asound_bt.conf", "/root/.asoundrc", "/tmp/keep.conf"}) {
        test::write_file(fakes_.root(path), "pcm.!default bluealsa\n");
    }
    test::write_file(fakes_.home() + "/.asoundrc", "x");
    test::EnvGuard alsa("ALSA_CONFIG_PATH", "/tmp/asound_bt.conf");
    clear_alsa_overrides();
    EXPECT_FALSE(test::path_exists(fakes_.root("/tmp/asound_bt.conf")));
    EXPECT_FALSE(test::path_exists(fakes_.root("/root/.asoundrc")));
    EXPECT_FALSE(test::path_exists(fakes_.home() + "/.asoundrc"));
    EXPECT_TRUE(test::path_exists(fakes_.root("/tmp/keep.conf")));
    EXPECT_EQ(std::getenv("ALSA_CONFIG_PATH"), nullptr);
    clear_alsa_overrides();  // nothing left to remove: still fine
}

TEST_F(AudioDevice, HomeFileStaysWithoutHome) {
    test::write_file(fakes_.home() + "/.asoundrc", "x");
    test::EnvGuard no_home("HOME", std::nullopt);
    clear_alsa_overrides();
    EXPECT_TRUE(test::path_exists(fakes_.home() + "/.asoundrc"));
}

TEST_F(AudioDevice, SpeakerSwitchUnderAnOddDeviceRoot) {
    // The switch's path goes into a shell command line: a root with a space
    // and a quote must still name one file, not two words.
    const std::string odd = fakes_.home() + "/dev root's";
    test::make_dirs(odd + "/sys/class/speaker");
    test::EnvGuard root("QZ_DEVICE_ROOT", odd);
    mute_speaker();
    EXPECT_EQ(test::read_file(odd + "/sys/class/speaker/mute"), "1\n");
    EXPECT_EQ(fakes_.log(), MUTED);
}

}  // namespace
}  // namespace qz

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "player/display_layer.h"
#include "support/env_guard.h"
#include "support/files.h"
#include "support/stderr_capture.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

// Records every call and the record bytes the driver saw at that moment.
class FakeDisplayDriver : public DisplayDriver {
public:
    struct Call {
        unsigned long number;
        DispArgs args;
        LayerConfig record;
    };
    bool open(std::string& error) override {
        ++opens;
        if (!open_error.empty()) error = open_error;
        return open_error.empty();
    }
    int request(unsigned long number, DispArgs& args) override {
        Call call{number, args, {}};
        auto* record = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(args[1]));
        std::memcpy(call.record.bytes.data(), record, LAYER_CONFIG_SIZE);
        calls.push_back(call);
        if (number == DISP_LAYER_GET_CONFIG && get_result >= 0) {
            // The driver reports the layer as it is now.
            for (size_t i = 0; i < 5; ++i) record[i] = static_cast<uint8_t>(0xA0 + i);
            record[LAYER_ALPHA_MODE_OFFSET] = 7;
            record[LAYER_ALPHA_VALUE_OFFSET] = 9;
            record[100] = 0x5C;
        }
        return number == DISP_LAYER_GET_CONFIG ? get_result : 0;
    }
    void close() override { ++closes; }

    std::string open_error;
    int get_result = 0;
    int opens = 0;
    int closes = 0;
    std::vector<Call> calls;
};

// A device root with a framebuffer node, as on the console.
class DisplayLayerTest : public ::testing::Test {
protected:
    void SetUp() override { test::write_file(root_ / "dev/fb0", ""); }
    test::TempDir root_;
    test::EnvGuard env_{"QZ_DEVICE_ROOT", root_.path()};
    FakeDisplayDriver driver_;
};

TEST(LayerConfigRecord, IsZeroExceptChannelOne) {
    LayerConfig config = framebuffer_layer_config();
    ASSERT_EQ(config.bytes.size(), 184u);
    for (size_t i = 0; i < config.bytes.size(); ++i) {
        EXPECT_EQ(config.bytes[i], i == 172 ? 1 : 0) << "byte " << i;
    }
    DispArgs args = disp_args_for(config);
    EXPECT_EQ(args[0], 0u);
    EXPECT_EQ(args[1], reinterpret_cast<uintptr_t>(config.bytes.data()));
    EXPECT_EQ(args[2], 1u);
    EXPECT_EQ(args[3], 0u);
}

struct ModeCase {
    bool enabled;
    uint8_t alpha_mode;
    const char* log;
};
void PrintTo(const ModeCase& c, std::ostream* os) { *os << (c.enabled ? "enable" : "disable"); }

class LayerModes : public DisplayLayerTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(LayerModes, ReadsTheLayerThenWritesItBackWithTheAlphaFields) {
    test::StderrCapture capture;
    set_layer_transparency(GetParam().enabled, driver_);

    ASSERT_EQ(driver_.calls.size(), 2u);
    const auto& get = driver_.calls[0];
    const auto& set = driver_.calls[1];
    EXPECT_EQ(get.number, 0x48u);
    EXPECT_EQ(set.number, 0x47u);
    EXPECT_EQ(get.args, set.args);
    EXPECT_EQ(get.args[0], 0u);
    EXPECT_EQ(get.args[2], 1u);
    EXPECT_EQ(get.args[3], 0u);
    EXPECT_EQ(get.record.bytes, framebuffer_layer_config().bytes);

    // The write keeps what the driver reported and changes only the two fields.
    LayerConfig expected = framebuffer_layer_config();
    for (size_t i = 0; i < 5; ++i) expected.bytes[i] = static_cast<uint8_t>(0xA0 + i);
    expected.bytes[100] = 0x5C;
    expected.bytes[5] = GetParam().alpha_mode;
    expected.bytes[6] = 255;
    EXPECT_EQ(set.record.bytes, expected.bytes);

    EXPECT_EQ(driver_.opens, 1);
    EXPECT_EQ(driver_.closes, 1);
    EXPECT_EQ(capture.text(), GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(Both, LayerModes,
                         ::testing::Values(ModeCase{true, 0, "[Player] /dev/disp Channel 1 alpha_mode set to 0\n"},
                                           ModeCase{false, 1, "[Player] /dev/disp Channel 1 alpha_mode set to 1\n"}));

TEST_F(DisplayLayerTest, SameValueTwiceWritesTwiceAndLogsTwice) {
    test::StderrCapture capture;
    set_layer_transparency(false, driver_);
    set_layer_transparency(false, driver_);
    ASSERT_EQ(driver_.calls.size(), 4u);
    EXPECT_EQ(driver_.calls[1].record.bytes, driver_.calls[3].record.bytes);
    EXPECT_EQ(capture.text(), "[Player] /dev/disp Channel 1 alpha_mode set to 1\n"
                              "[Player] /dev/disp Channel 1 alpha_mode set to 1\n");
}

TEST_F(DisplayLayerTest, FailedReadSkipsTheWriteAndStillCloses) {
    driver_.get_result = -1;
    test::StderrCapture capture;
    set_layer_transparency(true, driver_);
    ASSERT_EQ(driver_.calls.size(), 1u);
    EXPECT_EQ(driver_.calls[0].number, DISP_LAYER_GET_CONFIG);
    EXPECT_EQ(driver_.closes, 1);
    EXPECT_EQ(capture.text(), "[Player] /dev/disp DISP_LAYER_GET_CONFIG failed.\n");
}

TEST_F(DisplayLayerTest, OpenFailureIsLoggedWithTheSystemText) {
    driver_.open_error = "Permission denied";
    test::StderrCapture capture;
    set_layer_transparency(true, driver_);
    EXPECT_TRUE(driver_.calls.empty());
    EXPECT_EQ(capture.text(),
              "[Player] Cannot open /dev/disp (Permission denied). Skipping display layer transparency.\n");
}

TEST(DisplayLayerWithoutFramebuffer, DoesNothingAtAll) {
    test::TempDir root;  // no dev/fb0 here
    test::EnvGuard env("QZ_DEVICE_ROOT", root.path());
    FakeDisplayDriver driver;
    test::StderrCapture capture;
    set_layer_transparency(true, driver);
    set_layer_transparency(false);  // the real driver: must not reach /dev/disp either
    EXPECT_EQ(driver.opens, 0);
    EXPECT_TRUE(driver.calls.empty());
    EXPECT_EQ(capture.text(), "");
}

// Under a device root a regular file stands in for /dev/disp: it opens, but
// the driver request fails as it would on a kernel without the driver.
TEST_F(DisplayLayerTest, RealDriverOnAPlainFileReportsTheFailedRead) {
    test::write_file(root_ / "dev/disp", "");
    test::StderrCapture capture;
    set_layer_transparency(false);
    EXPECT_EQ(capture.text(), "[Player] /dev/disp DISP_LAYER_GET_CONFIG failed.\n");
    EXPECT_EQ(test::read_file(root_ / "dev/disp"), "");
}

TEST_F(DisplayLayerTest, RealDriverWithoutTheNodeReportsTheOpenError) {
    test::StderrCapture capture;
    set_layer_transparency(true);
    EXPECT_EQ(capture.text(), "[Player] Cannot open /dev/disp (No such file or directory). Skipping display "
                              "layer transparency.\n");
}

}  // namespace
}  // namespace qz

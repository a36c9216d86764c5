#include "graphics/framebuffer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/env_guard.h"
#include "support/temp_dir.h"
#include "support/memory_fb_device.h"

namespace qz {
namespace {

using test::describe_panel;
using test::EnvGuard;
using test::MemoryFbDevice;
using test::MemoryFbState;

constexpr unsigned char UNTOUCHED = 0xab;
const std::string NOTICE_FORCED =
    "[Framebuffer] Notice: Could not open /dev/fb0 (Forced simulator mode). Initializing Desktop Simulator mode.\n";
const std::string EMULATOR_WARNING = "[Framebuffer] Warning: mmap /dev/fb0 failed. Running in emulator mode.\n";

// Device memory followed by a guard region, all preset to UNTOUCHED.
struct DeviceMemory {
    explicit DeviceMemory(size_t mapped, size_t guard = 256) : mapped_len(mapped), bytes(mapped + guard, UNTOUCHED) {}
    size_t mapped_len;
    std::vector<unsigned char> bytes;
    bool guard_untouched() const {
        for (size_t i = mapped_len; i < bytes.size(); ++i)
            if (bytes[i] != UNTOUCHED) return false;
        return true;
    }
};

class FramebufferTest : public testing::Test {
protected:
    void SetUp() override { simulator_.unset(); }

    std::shared_ptr<MemoryFbState> panel(uint32_t w, uint32_t h, uint32_t stride, DeviceMemory& mem) {
        auto s = std::make_shared<MemoryFbState>();
        describe_panel(*s, w, h, stride, uint32_t(mem.mapped_len));
        s->memory = mem.bytes.data();
        return s;
    }

    // Opens through the fake device and returns what went to standard error.
    std::string open(std::shared_ptr<MemoryFbState> s, std::optional<Framebuffer>& out,
                     DeviceProfile profile = DeviceProfile::Standard) {
        testing::internal::CaptureStderr();
        out.emplace(Framebuffer::open(profile, std::make_unique<MemoryFbDevice>(s)));
        return testing::internal::GetCapturedStderr();
    }

    EnvGuard simulator_{"TRIMUI_SIMULATOR"};
};

// Writes a distinct value into every back-buffer pixel.
void paint_distinct(Framebuffer& fb) {
    for (uint32_t i = 0; i < fb.width() * fb.height(); ++i) fb.pixels()[i] = 0xff000000u | (i * 0x010203u);
}

uint32_t word_at(const std::vector<unsigned char>& bytes, size_t offset) {
    uint32_t w;
    std::memcpy(&w, bytes.data() + offset, 4);
    return w;
}

// ---- simulator switch -----------------------------------------------------

struct SwitchCase {
    const char* value;  // nullptr: unset
    bool forced;
};

class SimulatorSwitch : public FramebufferTest, public testing::WithParamInterface<SwitchCase> {};

TEST_P(SimulatorSwitch, ForcedValuesSkipTheDevice) {
    if (GetParam().value) simulator_.set(GetParam().value);
    DeviceMemory mem(16 * 8 * 4);
    auto s = panel(16, 8, 64, mem);
    std::optional<Framebuffer> fb;
    const std::string log = open(s, fb, DeviceProfile::Brick);
    EXPECT_EQ(simulator_forced(), GetParam().forced);
    if (GetParam().forced) {
        EXPECT_EQ(log, NOTICE_FORCED);
        EXPECT_EQ(s->open_calls, 0) << "the device must not be opened";
        EXPECT_FALSE(fb->has_device());
        EXPECT_EQ(fb->fd(), -1);
        EXPECT_EQ(fb->mapping_len(), 0u);
        EXPECT_EQ(fb->width(), 1024u);
        EXPECT_EQ(fb->height(), 768u);
        EXPECT_EQ(fb->stride(), 1024u * 4);
    } else {
        EXPECT_EQ(log, "[Framebuffer] Mapped /dev/fb0: 16x8 stride: 64 bytes\n");
        EXPECT_EQ(s->open_calls, 1);
        EXPECT_TRUE(fb->has_device());
        EXPECT_EQ(fb->fd(), 42);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, SimulatorSwitch,
                         testing::Values(SwitchCase{"1", true}, SwitchCase{"TRUE", true}, SwitchCase{"true", true},
                                         SwitchCase{"tRuE", true}, SwitchCase{"yes", false},
                                         SwitchCase{"0", false}, SwitchCase{"", false},
                                         SwitchCase{"true ", false}, SwitchCase{"01", false},
                                         SwitchCase{"\xff", false}, SwitchCase{nullptr, false}));

TEST_F(FramebufferTest, OpenFailureFallsBackWithTheSystemErrorText) {
    auto s = std::make_shared<MemoryFbState>();
    s->open_ok = false;
    s->open_error = "Permission denied";
    std::optional<Framebuffer> fb;
    EXPECT_EQ(open(s, fb),
              "[Framebuffer] Notice: Could not open /dev/fb0 (Permission denied). Initializing Desktop Simulator "
              "mode.\n");
    EXPECT_FALSE(fb->has_device());
    EXPECT_EQ(fb->fd(), -1);
    EXPECT_EQ(fb->width(), 1280u);
    EXPECT_EQ(fb->height(), 720u);
}

// ---- size and stride ------------------------------------------------------

struct SizeCase {
    uint32_t xres, yres, line_length;
    DeviceProfile profile;
    uint32_t want_w, want_h, want_stride;
};

class ScreenSize : public FramebufferTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(ScreenSize, DeviceSizeOnlyWhenBothAreReported) {
    const SizeCase& c = GetParam();
    DeviceMemory mem(size_t(c.want_stride) * c.want_h);
    auto s = panel(c.xres, c.yres, c.line_length, mem);
    std::optional<Framebuffer> fb;
    const std::string log = open(s, fb, c.profile);
    EXPECT_EQ(fb->width(), c.want_w);
    EXPECT_EQ(fb->height(), c.want_h);
    EXPECT_EQ(fb->stride(), c.want_stride);
    EXPECT_EQ(log, "[Framebuffer] Mapped /dev/fb0: " + std::to_string(c.want_w) + "x" + std::to_string(c.want_h) +
                       " stride: " + std::to_string(c.want_stride) + " bytes\n");
}

INSTANTIATE_TEST_SUITE_P(
    Reported, ScreenSize,
    testing::Values(SizeCase{800, 600, 3200, DeviceProfile::Standard, 800, 600, 3200},
                    SizeCase{0, 600, 0, DeviceProfile::Standard, 1280, 720, 5120},  // xres 0: profile size
                    SizeCase{800, 0, 0, DeviceProfile::Brick, 1024, 768, 4096},
                    SizeCase{0, 0, 8192, DeviceProfile::Brick, 1024, 768, 8192},
                    SizeCase{720, 1280, 0, DeviceProfile::Standard, 720, 1280, 2880}));

// ---- present --------------------------------------------------------------

TEST_F(FramebufferTest, UnpaddedRowsAreCopiedAsOneBlock) {
    DeviceMemory mem(5 * 3 * 4);
    std::optional<Framebuffer> fb;
    open(panel(5, 3, 20, mem), fb);
    paint_distinct(*fb);
    fb->present();
    EXPECT_EQ(std::memcmp(mem.bytes.data(), fb->pixels(), 5 * 3 * 4), 0);
    EXPECT_TRUE(mem.guard_untouched());
}

TEST_F(FramebufferTest, PaddedRowsAreCopiedRowByRowLeavingThePadding) {
    const uint32_t w = 4, h = 3, stride = 24;
    DeviceMemory mem(size_t(stride) * h);
    std::optional<Framebuffer> fb;
    open(panel(w, h, stride, mem), fb);
    paint_distinct(*fb);
    fb->present();
    for (uint32_t r = 0; r < h; ++r) {
        for (uint32_t c = 0; c < w; ++c) EXPECT_EQ(word_at(mem.bytes, r * stride + c * 4), fb->at(c, r)) << r << "," << c;
        for (uint32_t b = w * 4; b < stride; ++b) EXPECT_EQ(mem.bytes[r * stride + b], UNTOUCHED) << "row " << r;
    }
    EXPECT_TRUE(mem.guard_untouched());
}

// A device whose memory is smaller than its rows need: present must stop at
// the mapped length, with the rows that fit laid out as usual.
struct ShortCase {
    const char* name;
    uint32_t stride, mapped;
};

class ShortMapping : public FramebufferTest, public testing::WithParamInterface<ShortCase> {};

TEST_P(ShortMapping, NeverWritesPastTheMapping) {
    const ShortCase& c = GetParam();
    const uint32_t w = 4, h = 4;
    DeviceMemory mem(c.mapped);
    std::optional<Framebuffer> fb;
    open(panel(w, h, c.stride, mem), fb);
    ASSERT_TRUE(fb->has_device());
    paint_distinct(*fb);
    fb->present();
    EXPECT_TRUE(mem.guard_untouched());
    for (uint32_t r = 0; r < h; ++r) {
        for (uint32_t col = 0; col < w; ++col) {
            const size_t off = size_t(r) * c.stride + col * 4;
            if (off + 4 <= c.mapped) {
                EXPECT_EQ(word_at(mem.bytes, off), fb->at(col, r)) << r << "," << col;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ShortMapping,
                         testing::Values(ShortCase{"unpadded_half", 16, 32}, ShortCase{"unpadded_odd", 16, 37},
                                         ShortCase{"padded_mid_row", 24, 58}, ShortCase{"padded_mid_padding", 24, 66},
                                         ShortCase{"padded_one_word", 24, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FramebufferTest, FreshBufferPresentsUniformDarkGrey) {
    DeviceMemory mem(8 * 2 * 4);
    std::optional<Framebuffer> fb;
    open(panel(8, 2, 32, mem), fb);
    fb->present();
    for (size_t i = 0; i < 8 * 2 * 4; i += 4) {
        ASSERT_EQ(mem.bytes[i], 0x0f);
        ASSERT_EQ(mem.bytes[i + 1], 0x0f);
        ASSERT_EQ(mem.bytes[i + 2], 0x0f);
        ASSERT_EQ(mem.bytes[i + 3], 0xff) << "alpha byte is copied too";
    }
}

TEST_F(FramebufferTest, ClearSetsEveryPixel) {
    std::optional<Framebuffer> fb;
    simulator_.set("1");
    open(std::make_shared<MemoryFbState>(), fb);
    for (uint32_t i = 0; i < fb->width() * fb->height(); ++i) ASSERT_EQ(fb->pixels()[i], INITIAL_PIXEL);
    fb->clear(0x00e0a1a0);
    for (uint32_t i = 0; i < fb->width() * fb->height(); ++i) ASSERT_EQ(fb->pixels()[i], 0x00e0a1a0u);
}

// ---- pan reset ------------------------------------------------------------

struct PanCase {
    uint32_t xoffset, yoffset;
    bool reset;
};

class PanReset : public FramebufferTest, public testing::WithParamInterface<PanCase> {};

TEST_P(PanReset, PannedScreenIsPannedBack) {
    DeviceMemory mem(6 * 4 * 4 * 2);
    auto s = panel(6, 4, 24, mem);
    s->var.xoffset = GetParam().xoffset;
    s->var.yoffset = GetParam().yoffset;
    std::optional<Framebuffer> fb;
    open(s, fb);
    EXPECT_EQ(s->pan_calls, GetParam().reset ? 1 : 0);
    if (GetParam().reset) {
        EXPECT_EQ(s->pan_value.xoffset, 0u);
        EXPECT_EQ(s->pan_value.yoffset, 0u);
        // The rest of the record is written back as read.
        EXPECT_EQ(s->pan_value.xres, 6u);
        EXPECT_EQ(s->pan_value.yres_virtual, 8u);
        EXPECT_EQ(s->pan_value.bits_per_pixel, 32u);
    }
}

INSTANTIATE_TEST_SUITE_P(Offsets, PanReset,
                         testing::Values(PanCase{0, 0, false}, PanCase{0, 4, true}, PanCase{3, 0, true},
                                         PanCase{2, 4, true}));

// ---- mapping failure and release -----------------------------------------

TEST_F(FramebufferTest, MappingFailureRunsInEmulatorMode) {
    DeviceMemory mem(800 * 600 * 4);
    auto s = panel(800, 600, 3328, mem);
    s->map_fails = true;
    std::optional<Framebuffer> fb;
    EXPECT_EQ(open(s, fb), EMULATOR_WARNING);
    EXPECT_EQ(s->close_calls, 1);
    EXPECT_FALSE(fb->has_device());
    EXPECT_EQ(fb->fd(), -1);
    EXPECT_EQ(fb->mapping_len(), 0u);
    EXPECT_EQ(fb->width(), 800u) << "the device's size stays";
    EXPECT_EQ(fb->height(), 600u);
    EXPECT_EQ(fb->stride(), 800u * 4) << "the device's padded stride does not";
    paint_distinct(*fb);
    fb->present();
    EXPECT_EQ(mem.bytes, std::vector<unsigned char>(mem.bytes.size(), UNTOUCHED));
}

TEST_F(FramebufferTest, ZeroFilledScreenInformationEndsInEmulatorMode) {
    // Both requests "failed": all-zero records, so a zero-length mapping.
    auto s = std::make_shared<MemoryFbState>();
    std::vector<unsigned char> block(64, UNTOUCHED);
    s->memory = block.data();
    std::optional<Framebuffer> fb;
    EXPECT_EQ(open(s, fb, DeviceProfile::Brick), EMULATOR_WARNING);
    EXPECT_EQ(fb->width(), 1024u);
    EXPECT_EQ(fb->height(), 768u);
    EXPECT_EQ(fb->stride(), 1024u * 4);
    EXPECT_FALSE(fb->has_device());
}

TEST_F(FramebufferTest, ReleaseUnmapsOnceAndClosesOnceAfterAMove) {
    DeviceMemory mem(4 * 4 * 4 + 100);
    auto s = panel(4, 4, 16, mem);
    {
        std::optional<Framebuffer> fb;
        open(s, fb);
        Framebuffer moved = std::move(*fb);
        fb.reset();
        EXPECT_EQ(s->unmap_calls, 0);
        EXPECT_EQ(moved.fd(), 42);
        moved.present();
    }
    EXPECT_EQ(s->unmap_calls, 1);
    EXPECT_EQ(s->unmapped_len, mem.mapped_len);
    EXPECT_EQ(s->close_calls, 1);
}

// ---- the real device path under a device root -------------------------------

class DeviceRoot : public FramebufferTest {
protected:
    void SetUp() override {
        FramebufferTest::SetUp();
        std::filesystem::create_directories(root_ / "dev");
        device_root_.set(root_.c_str());
    }

    std::string open_real(std::optional<Framebuffer>& out) {
        testing::internal::CaptureStderr();
        out.emplace(Framebuffer::open(DeviceProfile::Standard));
        return testing::internal::GetCapturedStderr();
    }

    test::TempDir temp_;
    const std::filesystem::path root_{temp_.path()};
    EnvGuard device_root_{"QZ_DEVICE_ROOT"};
};

TEST_F(DeviceRoot, MissingDeviceGivesTheSimulatorNotice) {
    std::optional<Framebuffer> fb;
    EXPECT_EQ(open_real(fb),
              "[Framebuffer] Notice: Could not open /dev/fb0 (No such file or directory). Initializing Desktop "
              "Simulator mode.\n");
    EXPECT_EQ(fb->fd(), -1);
}

TEST_F(DeviceRoot, RegularFileIsNotAFramebuffer) {
    std::ofstream(root_ / "dev" / "fb0") << "not a framebuffer";
    std::optional<Framebuffer> fb;
    EXPECT_EQ(open_real(fb), EMULATOR_WARNING);
    EXPECT_EQ(fb->fd(), -1);
    EXPECT_EQ(fb->width(), 1280u);
    EXPECT_EQ(fb->height(), 720u);
}

TEST_F(DeviceRoot, ForcedSimulatorDoesNotOpenTheDevice) {
    // A directory cannot be opened for writing: had open been tried, the
    // notice would carry that error instead.
    std::filesystem::create_directories(root_ / "dev" / "fb0");
    simulator_.set("True");
    std::optional<Framebuffer> fb;
    EXPECT_EQ(open_real(fb), NOTICE_FORCED);
}

}  // namespace
}  // namespace qz

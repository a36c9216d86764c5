#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "input/input_thread.h"
#include "support/evdev_fifo.h"

namespace qz {
namespace {

struct KeyCase {
    uint16_t code;
    std::optional<Button> button;
};
void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << "code " << c.code << " -> " << (c.button ? button_name(*c.button) : "nothing");
}

class KeyTable : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyTable, PressAndRepeatSendTheButtonReleaseSendsNothing) {
    const KeyCase& c = GetParam();
    AxisState axes;
    EXPECT_EQ(button_for_event(axes, {EV_KEY_TYPE, c.code, 1}), c.button) << "press of " << c.code;
    EXPECT_EQ(button_for_event(axes, {EV_KEY_TYPE, c.code, 2}), c.button) << "repeat of " << c.code;
    EXPECT_EQ(button_for_event(axes, {EV_KEY_TYPE, c.code, 0}), std::nullopt) << "release of " << c.code;
    // Keys never touch the axis state.
    EXPECT_EQ(axes.horizontal, 0);
    EXPECT_EQ(axes.vertical, 0);
}

INSTANTIATE_TEST_SUITE_P(
    AllCodes, KeyTable,
    ::testing::Values(
        KeyCase{1, Button::B}, KeyCase{103, Button::Up}, KeyCase{105, Button::Left}, KeyCase{106, Button::Right},
        KeyCase{108, Button::Down},
        // The face buttons are crossed: south is B, east is A, north Y, west X.
        KeyCase{304, Button::B}, KeyCase{305, Button::A}, KeyCase{307, Button::Y}, KeyCase{308, Button::X},
        KeyCase{310, Button::L1}, KeyCase{311, Button::R1},
        // The second shoulder pair numbers right before left.
        KeyCase{312, Button::L2}, KeyCase{313, Button::R2}, KeyCase{314, Button::Select},
        KeyCase{315, Button::Start}, KeyCase{316, Button::Menu}, KeyCase{544, Button::Up},
        KeyCase{545, Button::Down}, KeyCase{546, Button::Left}, KeyCase{547, Button::Right},
        KeyCase{704, Button::Menu}, KeyCase{705, Button::Menu},
        // Neighbours of listed codes and codes the console does not use.
        KeyCase{0, std::nullopt}, KeyCase{2, std::nullopt}, KeyCase{28, std::nullopt}, KeyCase{104, std::nullopt},
        KeyCase{306, std::nullopt}, KeyCase{309, std::nullopt}, KeyCase{317, std::nullopt},
        KeyCase{548, std::nullopt}, KeyCase{703, std::nullopt}, KeyCase{706, std::nullopt}));

TEST(KeyValues, OnlyPressAndRepeatCount) {
    AxisState axes;
    for (int32_t value : {-1, 3, 1000}) {
        EXPECT_EQ(button_for_event(axes, {EV_KEY_TYPE, 304, value}), std::nullopt) << value;
    }
}

constexpr uint16_t ABS_X = 0, ABS_Y = 1, HAT_X = 16, HAT_Y = 17;

struct AxisCase {
    const char* name;
    std::vector<EvdevEvent> events;
    std::vector<Button> expected;
};
void PrintTo(const AxisCase& c, std::ostream* os) { *os << c.name; }

class AxisSequence : public ::testing::TestWithParam<AxisCase> {};

TEST_P(AxisSequence, SendsOneButtonPerNewDirection) {
    AxisState axes;
    std::vector<Button> sent;
    for (const EvdevEvent& e : GetParam().events) {
        if (auto b = button_for_event(axes, e)) sent.push_back(*b);
    }
    EXPECT_EQ(sent, GetParam().expected);
}

EvdevEvent abs(uint16_t code, int32_t value) { return {EV_ABS_TYPE, code, value}; }

INSTANTIATE_TEST_SUITE_P(
    Cases, AxisSequence,
    ::testing::Values(
        AxisCase{"LeftHeldCentreLeftAgain",
                 {abs(ABS_X, -32767), abs(ABS_X, -30000), abs(ABS_X, -32000), abs(ABS_X, 0), abs(ABS_X, -20000)},
                 {Button::Left, Button::Left}},
        AxisCase{"LeftStraightToRight", {abs(ABS_X, -32767), abs(ABS_X, 32767)}, {Button::Left, Button::Right}},
        AxisCase{"UpStraightToDown", {abs(ABS_Y, -32767), abs(ABS_Y, 32767)}, {Button::Up, Button::Down}},
        AxisCase{"HatActsLikeFullDeflection",
                 {abs(HAT_X, -1), abs(HAT_X, 0), abs(HAT_X, 1), abs(HAT_Y, -1), abs(HAT_Y, 0), abs(HAT_Y, 1)},
                 {Button::Left, Button::Right, Button::Up, Button::Down}},
        AxisCase{"ExactThresholdIsCentred",
                 {abs(ABS_X, 16000), abs(ABS_X, -16000), abs(ABS_Y, 16000), abs(ABS_Y, -16000)},
                 {}},
        AxisCase{"JustPastThreshold",
                 {abs(ABS_X, 16001), abs(ABS_X, -16001), abs(ABS_Y, 16001), abs(ABS_Y, -16001)},
                 {Button::Right, Button::Left, Button::Down, Button::Up}},
        AxisCase{"SmallValuesOtherThanOneAreCentred", {abs(ABS_X, 2), abs(ABS_X, -2), abs(ABS_Y, 15999)}, {}},
        // A centred reading at the threshold releases the direction.
        AxisCase{"ThresholdRecentres", {abs(ABS_X, 20000), abs(ABS_X, 16000), abs(ABS_X, 20000)},
                 {Button::Right, Button::Right}},
        AxisCase{"StickAndHatShareState", {abs(ABS_X, -32767), abs(HAT_X, -1), abs(ABS_Y, 1), abs(HAT_Y, 32767)},
                 {Button::Left, Button::Down}},
        AxisCase{"AxesAreIndependent",
                 {abs(ABS_X, -32767), abs(ABS_Y, -32767), abs(ABS_X, -32767), abs(ABS_Y, 0), abs(ABS_X, -32767)},
                 {Button::Left, Button::Up}},
        AxisCase{"OtherTypesAndCodesIgnored",
                 {EvdevEvent{0, 0, 0}, EvdevEvent{2, ABS_X, -32767}, EvdevEvent{EV_KEY_TYPE, ABS_X, 1},
                  abs(2, -32767), abs(304, 1), abs(18, -1)},
                 {}}),
    [](const ::testing::TestParamInfo<AxisCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qz

// ctest-labels: threads
#include "player/button_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "support/env_guard.h"
#include "support/evdev_fifo.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "support/open_fds.h"

namespace qz {

void PrintTo(ButtonReaderVariant v, std::ostream* os) {
    *os << (v == ButtonReaderVariant::HardwarePlayer ? "HardwarePlayer" : "Ffmpeg");
}

namespace {

using namespace std::chrono_literals;
using E = PlayerEvent;
using V = ButtonReaderVariant;

constexpr uint16_t KEY = EV_KEY_TYPE, ABS = EV_ABS_TYPE;

// ---- The mapping, with made-up instants --------------------------------------

// One step of a case: an event read at a time (ms after the reader started),
// or a pass without data at that time, where only the d-pad may repeat.
struct Read {
    int at_ms;
    EvdevEvent event;
};
struct Tick {
    int at_ms;
};
using Step = std::variant<Read, Tick>;

struct MappingCase {
    const char* name;
    V variant;
    std::vector<Step> steps;
    std::vector<E> expected;
};

void PrintTo(const MappingCase& c, std::ostream* os) { *os << c.name; }

// Reads after the warm-up unless a case says otherwise.
Read key(uint16_t code, int32_t value, int at_ms = 1000) { return {at_ms, {KEY, code, value}}; }
Read axis(uint16_t code, int32_t value, int at_ms = 1000) { return {at_ms, {ABS, code, value}}; }

std::vector<E> run_steps(V variant, const std::vector<Step>& steps) {
    ButtonReaderState state;
    state.variant = variant;
    state.started = ReaderClock::time_point{} + 1h;
    std::vector<E> sent;
    for (const Step& step : steps) {
        std::optional<E> e;
        if (const auto* r = std::get_if<Read>(&step)) {
            e = player_event_for(state, r->event, state.started + std::chrono::milliseconds(r->at_ms));
        } else {
            e = dpad_repeat(state, state.started + std::chrono::milliseconds(std::get<Tick>(step).at_ms));
        }
        if (e) sent.push_back(*e);
    }
    return sent;
}

class PlayerMapping : public ::testing::TestWithParam<MappingCase> {};

TEST_P(PlayerMapping, SendsTheseEvents) { EXPECT_EQ(run_steps(GetParam().variant, GetParam().steps), GetParam().expected); }

namespace c = evdev;

INSTANTIATE_TEST_SUITE_P(
    Keys, PlayerMapping,
    ::testing::Values(
        MappingCase{"PressOfEveryKey",
                    V::HardwarePlayer,
                    {key(c::KEY_ESC, 1), key(c::BTN_SOUTH, 1), key(c::BTN_MODE, 1), key(c::KEY_UP, 1),
                     key(c::KEY_VOLUMEUP, 1), key(c::KEY_DOWN, 1), key(c::KEY_VOLUMEDOWN, 1), key(c::KEY_LEFT, 1),
                     key(c::BTN_TL2, 1), key(c::KEY_RIGHT, 1), key(c::BTN_TR2, 1), key(c::BTN_EAST, 1),
                     key(c::BTN_WEST, 1), key(c::BTN_TL, 1), key(c::BTN_TR, 1)},
                    {E::ExitRequested, E::ExitRequested, E::ExitRequested, E::VolumeUp, E::VolumeUp, E::VolumeDown,
                     E::VolumeDown, E::SeekBackward, E::SeekBackward, E::SeekForward, E::SeekForward, E::TogglePause,
                     E::ToggleAspect, E::PreviousRequested, E::NextRequested}},
        // Auto-repeat steps volume and seeking only; a held exit or pause key
        // must not fire again.
        MappingCase{"AutoRepeatOfEveryKey",
                    V::HardwarePlayer,
                    {key(c::KEY_ESC, 2), key(c::BTN_SOUTH, 2), key(c::BTN_MODE, 2), key(c::KEY_UP, 2),
                     key(c::KEY_VOLUMEUP, 2), key(c::KEY_DOWN, 2), key(c::KEY_VOLUMEDOWN, 2), key(c::KEY_LEFT, 2),
                     key(c::BTN_TL2, 2), key(c::KEY_RIGHT, 2), key(c::BTN_TR2, 2), key(c::BTN_EAST, 2),
                     key(c::BTN_WEST, 2), key(c::BTN_TL, 2), key(c::BTN_TR, 2)},
                    {E::VolumeUp, E::VolumeUp, E::VolumeDown, E::VolumeDown, E::SeekBackward, E::SeekBackward,
                     E::SeekForward, E::SeekForward}},
        MappingCase{"ReleasesEndSeeksOnly",
                    V::HardwarePlayer,
                    {key(c::KEY_ESC, 0), key(c::KEY_UP, 0), key(c::KEY_VOLUMEDOWN, 0), key(c::KEY_LEFT, 0),
                     key(c::BTN_TL2, 0), key(c::KEY_RIGHT, 0), key(c::BTN_TR2, 0), key(c::BTN_EAST, 0),
                     key(c::BTN_WEST, 0), key(c::BTN_TR, 0)},
                    {E::SeekRelease, E::SeekRelease, E::SeekRelease, E::SeekRelease}},
        MappingCase{"FfmpegHasNoAspectKey",
                    V::Ffmpeg,
                    {key(c::BTN_WEST, 1), key(c::BTN_WEST, 2), key(c::BTN_WEST, 0), key(c::BTN_EAST, 1)},
                    {E::TogglePause}},
        MappingCase{"OtherTypesCodesAndValuesIgnored",
                    V::HardwarePlayer,
                    {key(c::BTN_NORTH, 1), key(c::BTN_SELECT, 1), key(c::BTN_START, 1), key(c::BTN_DPAD_RIGHT, 1),
                     key(c::BTN_TRIGGER_HAPPY1, 1), key(c::KEY_RIGHT, 3), key(c::KEY_RIGHT, -1),
                     axis(c::ABS_X, -32767), axis(c::ABS_Y, 32767), axis(c::BTN_EAST, 1), Read{1000, {0, 0, 0}},
                     Read{1000, {2, c::ABS_HAT0X, 1}}, Read{1000, {4, c::KEY_RIGHT, 1}}},
                    {}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Dpad, PlayerMapping,
    ::testing::Values(
        MappingCase{"HorizontalChangesOnly",
                    V::Ffmpeg,
                    {axis(c::ABS_HAT0X, 1), axis(c::ABS_HAT0X, 1), axis(c::ABS_HAT0X, -1), axis(c::ABS_HAT0X, 0),
                     axis(c::ABS_HAT0X, 0), axis(c::ABS_HAT0X, 7), axis(c::ABS_HAT0X, 0)},
                    {E::SeekForward, E::SeekBackward, E::SeekRelease, E::SeekRelease}},
        MappingCase{"VerticalChangesOnly",
                    V::Ffmpeg,
                    {axis(c::ABS_HAT0Y, -1), axis(c::ABS_HAT0Y, -1), axis(c::ABS_HAT0Y, 0), axis(c::ABS_HAT0Y, 1),
                     axis(c::ABS_HAT0Y, 1), axis(c::ABS_HAT0Y, -1)},
                    {E::VolumeUp, E::VolumeDown, E::VolumeUp}},
        // A key let go while the d-pad still holds a direction does not end
        // the d-pad's seek; once the d-pad rests, it does.
        MappingCase{"KeyReleaseWhileTheDpadIsHeld",
                    V::HardwarePlayer,
                    {axis(c::ABS_HAT0X, -1), key(c::KEY_RIGHT, 1), key(c::KEY_RIGHT, 0), key(c::BTN_TL2, 0),
                     axis(c::ABS_HAT0X, 0), key(c::KEY_RIGHT, 0)},
                    {E::SeekBackward, E::SeekForward, E::SeekRelease, E::SeekRelease}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Repeat, PlayerMapping,
    ::testing::Values(
        MappingCase{"AfterTheDelayThenOncePerInterval",
                    V::HardwarePlayer,
                    {axis(c::ABS_HAT0X, 1, 1000), Tick{1100}, Tick{1249}, Tick{1250}, Tick{1300}, Tick{1349},
                     Tick{1350}, Tick{1500}, Tick{1520}},
                    {E::SeekForward, E::SeekForward, E::SeekForward, E::SeekForward}},
        MappingCase{"NotWithinTheWarmup",
                    V::Ffmpeg,
                    {axis(c::ABS_HAT0X, -1, 100), Tick{500}, Tick{799}, Tick{800}},
                    {E::SeekBackward, E::SeekBackward}},
        MappingCase{"StopsWhenTheDpadRests",
                    V::Ffmpeg,
                    {axis(c::ABS_HAT0X, -1, 1000), Tick{1300}, axis(c::ABS_HAT0X, 0, 1350), Tick{1600}, Tick{2000}},
                    {E::SeekBackward, E::SeekBackward, E::SeekRelease}},
        MappingCase{"NewDirectionRestartsTheDelay",
                    V::Ffmpeg,
                    {axis(c::ABS_HAT0X, 1, 1000), Tick{1250}, axis(c::ABS_HAT0X, -1, 1300), Tick{1400}, Tick{1549},
                     Tick{1550}},
                    {E::SeekForward, E::SeekForward, E::SeekBackward, E::SeekBackward}},
        MappingCase{"OtherValuesDoNotRepeat",
                    V::Ffmpeg,
                    {axis(c::ABS_HAT0X, 5, 1000), Tick{1500}, key(c::KEY_RIGHT, 1, 1600), Tick{2000}},
                    {E::SeekForward}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The real reader on a FIFO at event4 -------------------------------------

class ButtonReaderThread : public ::testing::Test {
protected:
    void spawn(V variant) {
        auto [sender, receiver] = make_channel<PlayerEvent>();
        receiver_ = std::move(receiver);
        spawned_ = ReaderClock::now();
        ASSERT_TRUE(spawn_player_button_reader(std::move(sender), running_, variant));
    }
    // A record that maps to nothing is read at once; the reader started
    // before that, so its warm-up is surely over 800 ms after.
    void wait_for_warmup_end() {
        node_.write_event(0, 0, 0);
        ASSERT_TRUE(node_.wait_drained());
        std::this_thread::sleep_for(READER_WARMUP + 100ms);
    }
    // The first `count` events, then whatever else arrives within the window
    // after the last one (none with a window of 0).
    std::vector<E> receive(size_t count, std::chrono::milliseconds settle = 300ms) {
        std::vector<E> got;
        while (got.size() < count) {
            auto e = receiver_.recv_for(10s);
            if (!e) return got;
            got.push_back(*e);
        }
        if (settle == 0ms) return got;
        // Bounded, so a reader that never stops sending fails instead of hanging.
        const auto stop = ReaderClock::now() + 3s;
        while (ReaderClock::now() < stop) {
            auto e = receiver_.recv_for(settle);
            if (!e) break;
            got.push_back(*e);
        }
        return got;
    }
    // Clears the flag; true once the reader dropped its sender.
    bool stop_and_wait(std::chrono::milliseconds limit) {
        running_->store(false);
        const auto deadline = ReaderClock::now() + limit;
        while (ReaderClock::now() < deadline) {
            if (!receiver_.recv_for(deadline - ReaderClock::now())) return ReaderClock::now() < deadline;
        }
        return false;
    }
    void TearDown() override { stop_and_wait(10s); }

    test::TempDir root_;
    test::EnvGuard env_{"QZ_DEVICE_ROOT", root_.path()};
    // The application's input thread reads event0 to event3; the player's
    // buttons are pressed on a node only this reader opens.
    test::EventFifo node_{root_ / "dev/input/event4"};
    std::shared_ptr<std::atomic<bool>> running_ = std::make_shared<std::atomic<bool>>(true);
    Receiver<PlayerEvent> receiver_;
    ReaderClock::time_point spawned_;
};

TEST_F(ButtonReaderThread, IgnoresEverythingInItsFirst800Ms) {
    spawn(V::HardwarePlayer);
    // The A press that chose the episode, a seek key and a held d-pad.
    node_.write_bytes(test::evdev_records({{KEY, c::BTN_EAST, 1}, {KEY, c::KEY_RIGHT, 1}, {ABS, c::ABS_HAT0X, 1}}));
    ASSERT_TRUE(node_.wait_drained());
    const auto drained = ReaderClock::now();
    if (drained - spawned_ >= READER_WARMUP) GTEST_SKIP() << "the reader was not scheduled within its warm-up";
    std::this_thread::sleep_until(drained + READER_WARMUP + 100ms);
    // Dropped, not delayed: the next press is the first event, and the d-pad
    // hold that was never seen does not repeat.
    node_.write_event(KEY, c::BTN_EAST, 1);
    EXPECT_EQ(receive(1), std::vector<E>{E::TogglePause});
}

TEST_F(ButtonReaderThread, AutoRepeatValuesGiveOneStepEach) {
    spawn(V::Ffmpeg);
    wait_for_warmup_end();
    node_.write_bytes(test::evdev_records({{KEY, c::KEY_RIGHT, 1},
                                           {KEY, c::KEY_RIGHT, 2},
                                           {KEY, c::KEY_RIGHT, 2},
                                           {KEY, c::KEY_RIGHT, 2},
                                           {KEY, c::KEY_RIGHT, 0},
                                           {KEY, c::BTN_TL2, 1},
                                           {KEY, c::BTN_TL2, 2},
                                           {KEY, c::BTN_TL2, 0}}));
    EXPECT_EQ(receive(8), (std::vector<E>{E::SeekForward, E::SeekForward, E::SeekForward, E::SeekForward,
                                          E::SeekRelease, E::SeekBackward, E::SeekBackward, E::SeekRelease}));
}

TEST_F(ButtonReaderThread, HeldDpadRepeatsAndItsReturnSendsExactlyOneRelease) {
    spawn(V::HardwarePlayer);
    wait_for_warmup_end();
    const auto held = ReaderClock::now();
    // A key let go while the d-pad is held must not end the seek.
    node_.write_bytes(test::evdev_records({{ABS, c::ABS_HAT0X, 1}, {KEY, c::KEY_RIGHT, 0}}));
    std::vector<E> got = receive(3, 0ms);
    ASSERT_EQ(got, (std::vector<E>{E::SeekForward, E::SeekForward, E::SeekForward}));
    EXPECT_GE(ReaderClock::now() - held, DPAD_REPEAT_DELAY + DPAD_REPEAT_INTERVAL);

    node_.write_event(ABS, c::ABS_HAT0X, 0);
    // Repeats may still have come before the release was read; nothing after it.
    const auto stop = ReaderClock::now() + 10s;
    while (got.back() != E::SeekRelease) {
        ASSERT_LT(ReaderClock::now(), stop) << "no release among " << got.size() << " events";
        auto e = receiver_.recv_for(10s);
        ASSERT_TRUE(e.has_value());
        got.push_back(*e);
    }
    EXPECT_EQ(receiver_.recv_for(500ms), std::nullopt);
    EXPECT_EQ(std::count(got.begin(), got.end(), E::SeekRelease), 1);
    EXPECT_EQ(std::count(got.begin(), got.end(), E::SeekForward), static_cast<long>(got.size()) - 1);
}

class ButtonReaderVariants : public ButtonReaderThread, public ::testing::WithParamInterface<V> {};

TEST_P(ButtonReaderVariants, WestButtonSwitchesTheAspectOnlyForTheHardwarePlayer) {
    spawn(GetParam());
    wait_for_warmup_end();
    node_.write_bytes(test::evdev_records({{KEY, c::BTN_WEST, 1}, {KEY, c::BTN_WEST, 0}, {KEY, c::BTN_EAST, 1}}));
    const std::vector<E> expected = GetParam() == V::HardwarePlayer ? std::vector<E>{E::ToggleAspect, E::TogglePause}
                                                                    : std::vector<E>{E::TogglePause};
    EXPECT_EQ(receive(expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(Player, ButtonReaderVariants, ::testing::Values(V::HardwarePlayer, V::Ffmpeg),
                         [](const auto& info) {
                             return std::string(info.param == V::HardwarePlayer ? "Hardware" : "Ffmpeg");
                         });

TEST_F(ButtonReaderThread, EndsAndClosesItsNodeSoonAfterTheFlagIsCleared) {
    const size_t before = test::open_descriptor_count();
    spawn(V::HardwarePlayer);
    node_.write_event(0, 0, 0);
    ASSERT_TRUE(node_.wait_drained());
    EXPECT_EQ(test::open_descriptor_count(), before + 1);
    // Still running while the flag is set.
    const auto waited = ReaderClock::now();
    EXPECT_EQ(receiver_.recv_for(300ms), std::nullopt);
    EXPECT_GE(ReaderClock::now() - waited, 300ms);

    EXPECT_TRUE(stop_and_wait(2s));
    EXPECT_EQ(test::open_descriptor_count(), before);
}

}  // namespace
}  // namespace qz

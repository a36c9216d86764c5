#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/channel.h"
#include "input/evdev.h"
#include "player/player_event.h"

namespace qz {

// The back-ends differ in one key and in how long the reader idles.
enum class ButtonReaderVariant {
    HardwarePlayer,  // maps BTN_WEST to ToggleAspect, idles 30 ms
    Ffmpeg,          // no aspect key, idles 20 ms
};

using ReaderClock = std::chrono::steady_clock;

// Data read this soon after the reader starts is thrown away: the press that
// started playback may still be held or queued.
inline constexpr std::chrono::milliseconds READER_WARMUP{800};
// A held d-pad direction repeats after this delay, at most once per interval.
inline constexpr std::chrono::milliseconds DPAD_REPEAT_DELAY{250};
inline constexpr std::chrono::milliseconds DPAD_REPEAT_INTERVAL{100};
// One read takes at most 16 records per node.
inline constexpr size_t READER_READ_SIZE = 16 * EVENT_SIZE;
// The reader opens /dev/input/event0 to event9.
inline constexpr int READER_NODE_COUNT = 10;

std::chrono::milliseconds reader_idle(ButtonReaderVariant variant);

// What the reader remembers between events. Times come from the caller, so
// the mapping runs in tests without a clock.
struct ButtonReaderState {
    ButtonReaderVariant variant = ButtonReaderVariant::Ffmpeg;
    ReaderClock::time_point started{};
    int32_t hat_x = 0;  // last value of the d-pad's horizontal axis
    int32_t hat_y = 0;  // last value of the d-pad's vertical axis
    ReaderClock::time_point hold_start{};
    ReaderClock::time_point last_repeat{};
};

// True while data read at now is still thrown away.
bool in_warmup(const ButtonReaderState& state, ReaderClock::time_point now);

// The player event of one evdev event read at now, if any, updating the
// d-pad state. Warm-up is the caller's business.
std::optional<PlayerEvent> player_event_for(ButtonReaderState& state, const EvdevEvent& event,
                                            ReaderClock::time_point now);

// The seek step a held d-pad direction repeats at now, if one is due.
std::optional<PlayerEvent> dpad_repeat(ButtonReaderState& state, ReaderClock::time_point now);

// Starts the reader on a detached thread: it opens the event nodes, sends
// player events while *running is true, then closes them and ends, dropping
// its sender. The flag is shared so the thread never outlives it. False when
// the thread could not be created.
bool spawn_player_button_reader(Sender<PlayerEvent> sender, std::shared_ptr<std::atomic<bool>> running,
                                ButtonReaderVariant variant);

}  // namespace qz

#include "player/button_reader.h"

#include <array>
#include <system_error>
#include <thread>
#include <utility>

namespace qz {

namespace {

// What a key does: the event of a press (and of auto-repeat when repeats),
// and whether its release ends a seek.
struct PlayerKey {
    uint16_t code;
    PlayerEvent event;
    bool repeats;
    bool releases_seek;
};

constexpr std::array<PlayerKey, 15> PLAYER_KEYS = {{
    {evdev::KEY_ESC, PlayerEvent::ExitRequested, false, false},
    {evdev::BTN_SOUTH, PlayerEvent::ExitRequested, false, false},
    {evdev::BTN_MODE, PlayerEvent::ExitRequested, false, false},
    {evdev::KEY_UP, PlayerEvent::VolumeUp, true, false},
    {evdev::KEY_VOLUMEUP, PlayerEvent::VolumeUp, true, false},
    {evdev::KEY_DOWN, PlayerEvent::VolumeDown, true, false},
    {evdev::KEY_VOLUMEDOWN, PlayerEvent::VolumeDown, true, false},
    {evdev::KEY_LEFT, PlayerEvent::SeekBackward, true, true},
    {evdev::BTN_TL2, PlayerEvent::SeekBackward, true, true},
    {evdev::KEY_RIGHT, PlayerEvent::SeekForward, true, true},
    {evdev::BTN_TR2, PlayerEvent::SeekForward, true, true},
    {evdev::BTN_EAST, PlayerEvent::TogglePause, false, false},
    {evdev::BTN_WEST, PlayerEvent::ToggleAspect, false, false},
    {evdev::BTN_TL, PlayerEvent::PreviousRequested, false, false},
    {evdev::BTN_TR, PlayerEvent::NextRequested, false, false},
}};

const PlayerKey* player_key(uint16_t code, ButtonReaderVariant variant) {
    // Only the hardware player can switch the aspect.
    if (code == evdev::BTN_WEST && variant != ButtonReaderVariant::HardwarePlayer) return nullptr;
    for (const PlayerKey& k : PLAYER_KEYS) {
        if (k.code == code) return &k;
    }
    return nullptr;
}

std::optional<PlayerEvent> key_event(const ButtonReaderState& state, const EvdevEvent& e) {
    const PlayerKey* key = player_key(e.code, state.variant);
    if (key == nullptr) return std::nullopt;
    if (e.value == KEY_PRESSED || (e.value == KEY_REPEATED && key->repeats)) return key->event;
    // While the d-pad holds a direction, the seek goes on after a key lets go.
    if (e.value == KEY_RELEASED && key->releases_seek && state.hat_x == 0) return PlayerEvent::SeekRelease;
    return std::nullopt;
}

std::optional<PlayerEvent> hat_x_event(ButtonReaderState& state, int32_t value, ReaderClock::time_point now) {
    if (value == state.hat_x) return std::nullopt;
    state.hat_x = value;
    if (value == 0) return PlayerEvent::SeekRelease;
    if (value != -1 && value != 1) return std::nullopt;
    state.hold_start = now;
    state.last_repeat = now;
    return value < 0 ? PlayerEvent::SeekBackward : PlayerEvent::SeekForward;
}

std::optional<PlayerEvent> hat_y_event(ButtonReaderState& state, int32_t value) {
    if (value == state.hat_y) return std::nullopt;
    state.hat_y = value;
    if (value == -1) return PlayerEvent::VolumeUp;
    if (value == 1) return PlayerEvent::VolumeDown;
    return std::nullopt;
}

// One pass over every node: reads, maps and sends. True when a node gave data.
bool read_pass(EvdevNodes& nodes, ButtonReaderState& state, const Sender<PlayerEvent>& sender, uint8_t* buffer) {
    bool delivered = false;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const ssize_t n = nodes.read(i, buffer, READER_READ_SIZE);
        if (n <= 0) continue;
        delivered = true;
        const auto now = ReaderClock::now();
        if (in_warmup(state, now)) continue;
        for (const EvdevEvent& e : parse_events(buffer, static_cast<size_t>(n))) {
            if (auto event = player_event_for(state, e, now)) sender.send(*event);
        }
    }
    return delivered;
}

void run_reader(const Sender<PlayerEvent>& sender, const std::atomic<bool>& running, ButtonReaderVariant variant,
                const std::vector<std::string>& paths) {
    EvdevNodes nodes(paths);
    ButtonReaderState state;
    state.variant = variant;
    state.started = ReaderClock::now();
    std::array<uint8_t, READER_READ_SIZE> buffer{};
    while (running.load()) {
        const bool delivered = read_pass(nodes, state, sender, buffer.data());
        if (auto repeat = dpad_repeat(state, ReaderClock::now())) sender.send(*repeat);
        if (!delivered) std::this_thread::sleep_for(reader_idle(variant));
    }
}

}  // namespace

std::chrono::milliseconds reader_idle(ButtonReaderVariant variant) {
    return std::chrono::milliseconds(variant == ButtonReaderVariant::HardwarePlayer ? 30 : 20);
}

bool in_warmup(const ButtonReaderState& state, ReaderClock::time_point now) {
    return now - state.started < READER_WARMUP;
}

std::optional<PlayerEvent> player_event_for(ButtonReaderState& state, const EvdevEvent& event,
                                            ReaderClock::time_point now) {
    if (event.type == EV_KEY_TYPE) return key_event(state, event);
    if (event.type != EV_ABS_TYPE) return std::nullopt;
    if (event.code == evdev::ABS_HAT0X) return hat_x_event(state, event.value, now);
    if (event.code == evdev::ABS_HAT0Y) return hat_y_event(state, event.value);
    return std::nullopt;
}

std::optional<PlayerEvent> dpad_repeat(ButtonReaderState& state, ReaderClock::time_point now) {
    if (state.hat_x != -1 && state.hat_x != 1) return std::nullopt;
    if (in_warmup(state, now) || now - state.hold_start < DPAD_REPEAT_DELAY ||
        now - state.last_repeat < DPAD_REPEAT_INTERVAL) {
        return std::nullopt;
    }
    state.last_repeat = now;
    return state.hat_x < 0 ? PlayerEvent::SeekBackward : PlayerEvent::SeekForward;
}

bool spawn_player_button_reader(Sender<PlayerEvent> sender, std::shared_ptr<std::atomic<bool>> running,
                                ButtonReaderVariant variant) {
    // Worked out here, so the thread never reads the environment.
    std::vector<std::string> paths = event_node_paths(0, READER_NODE_COUNT);
    try {
        std::thread([sender = std::move(sender), running = std::move(running), variant, paths = std::move(paths)] {
            run_reader(sender, *running, variant, paths);
        }).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace qz

#include "input/input_thread.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

#include "common/device_path.h"
#include "common/device_paths.h"
#include "common/log.h"
#include "common/unique_fd.h"

namespace qz {

namespace {

struct KeyMapping {
    uint16_t code;
    Button button;
};

constexpr std::array<KeyMapping, 22> KEY_TABLE = {{
    {1, Button::B},        // KEY_ESC
    {103, Button::Up},     // KEY_UP
    {105, Button::Left},   // KEY_LEFT
    {106, Button::Right},  // KEY_RIGHT
    {108, Button::Down},   // KEY_DOWN
    {304, Button::B},      // BTN_SOUTH
    {305, Button::A},      // BTN_EAST
    {307, Button::Y},      // BTN_NORTH
    {308, Button::X},      // BTN_WEST
    {310, Button::L1},     // BTN_TL
    {311, Button::R1},     // BTN_TR
    {312, Button::L2},     // BTN_TL2
    {313, Button::R2},     // BTN_TR2
    {314, Button::Select}, // BTN_SELECT
    {315, Button::Start},  // BTN_START
    {316, Button::Menu},   // BTN_MODE
    {544, Button::Up},     // BTN_DPAD_UP
    {545, Button::Down},   // BTN_DPAD_DOWN
    {546, Button::Left},   // BTN_DPAD_LEFT
    {547, Button::Right},  // BTN_DPAD_RIGHT
    {704, Button::Menu},   // BTN_TRIGGER_HAPPY1
    {705, Button::Menu},   // BTN_TRIGGER_HAPPY2
}};

enum class Axis { None, Horizontal, Vertical };

Axis axis_of(uint16_t code) {
    switch (code) {
        case 0:   // ABS_X
        case 16:  // ABS_HAT0X
            return Axis::Horizontal;
        case 1:   // ABS_Y
        case 17:  // ABS_HAT0Y
            return Axis::Vertical;
        default:
            return Axis::None;
    }
}

std::optional<Button> axis_button(int8_t& state, int direction, Button negative, Button positive) {
    if (direction == 0) {
        state = 0;
        return std::nullopt;
    }
    if (state == direction) return std::nullopt;
    state = static_cast<int8_t>(direction);
    return direction < 0 ? negative : positive;
}

// Descriptors of the opened nodes. The polling loop never ends, so in
// practice they stay open for the life of the process.
struct EventNodes {
    std::vector<UniqueFd> owned;
    std::vector<pollfd> entries;
};

void open_nodes(EventNodes& nodes, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd) continue;
        nodes.entries.push_back(pollfd{fd.get(), POLLIN, 0});
        nodes.owned.push_back(std::move(fd));
    }
}

void handle_read(AxisState& axes, const Sender<Button>& sender, const uint8_t* buffer, ssize_t n) {
    if (n < static_cast<ssize_t>(EVENT_SIZE)) return;
    const size_t count = static_cast<size_t>(n) / EVENT_SIZE;
    for (size_t i = 0; i < count; ++i) {
        if (auto button = button_for_event(axes, parse_event(buffer + i * EVENT_SIZE))) sender.send(*button);
    }
}

}  // namespace

InputEvent parse_event(const uint8_t* record) {
    InputEvent e;
    std::memcpy(&e.type, record + EVENT_TYPE_OFFSET, sizeof e.type);
    std::memcpy(&e.code, record + EVENT_CODE_OFFSET, sizeof e.code);
    std::memcpy(&e.value, record + EVENT_VALUE_OFFSET, sizeof e.value);
    return e;
}

std::optional<Button> key_button(uint16_t code) {
    for (const KeyMapping& k : KEY_TABLE) {
        if (k.code == code) return k.button;
    }
    return std::nullopt;
}

int axis_direction(int32_t value) {
    if (value < -AXIS_THRESHOLD || value == -1) return -1;
    if (value > AXIS_THRESHOLD || value == 1) return 1;
    return 0;
}

std::optional<Button> button_for_event(AxisState& state, const InputEvent& event) {
    if (event.type == EV_KEY_TYPE) {
        // 1 pressed, 2 auto-repeat; releases (0) send nothing.
        if (event.value != 1 && event.value != 2) return std::nullopt;
        return key_button(event.code);
    }
    if (event.type != EV_ABS_TYPE) return std::nullopt;
    switch (axis_of(event.code)) {
        case Axis::Horizontal:
            return axis_button(state.horizontal, axis_direction(event.value), Button::Left, Button::Right);
        case Axis::Vertical:
            return axis_button(state.vertical, axis_direction(event.value), Button::Up, Button::Down);
        case Axis::None:
            break;
    }
    return std::nullopt;
}

std::vector<std::string> default_event_nodes() {
    std::vector<std::string> nodes;
    for (int i = 0; i < 4; ++i) nodes.push_back(input_event_path(i));
    return nodes;
}

void run_input_loop(Sender<Button> sender, const std::vector<std::string>& paths) {
    EventNodes nodes;
    open_nodes(nodes, paths);
    if (nodes.entries.empty()) {
        log::input("Notice: No evdev event nodes opened.");
        return;
    }
    std::vector<uint8_t> buffer(INPUT_BUFFER_SIZE, 0);
    // Presses made before we started are stale: throw them away.
    for (const pollfd& p : nodes.entries) {
        while (::read(p.fd, buffer.data(), buffer.size()) > 0) {
        }
    }
    AxisState axes;
    for (;;) {
        int ready = ::poll(nodes.entries.data(), nodes.entries.size(), 50);
        if (ready > 0) {
            for (const pollfd& p : nodes.entries) {
                if ((p.revents & POLLIN) == 0) continue;
                handle_read(axes, sender, buffer.data(), ::read(p.fd, buffer.data(), buffer.size()));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool start_input_thread(Sender<Button> sender, std::vector<std::string> nodes) {
    try {
        std::thread(
            [sender = std::move(sender), nodes = std::move(nodes)]() mutable { run_input_loop(std::move(sender), nodes); })
            .detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace qz

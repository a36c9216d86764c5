#include "input/evdev.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "common/device_paths.h"

namespace qz {

namespace {

struct KeyMapping {
    uint16_t code;
    Button button;
};

constexpr std::array<KeyMapping, 22> KEY_TABLE = {{
    {evdev::KEY_ESC, Button::B},
    {evdev::KEY_UP, Button::Up},
    {evdev::KEY_LEFT, Button::Left},
    {evdev::KEY_RIGHT, Button::Right},
    {evdev::KEY_DOWN, Button::Down},
    // The face buttons are crossed: south is B, east is A, north Y, west X.
    {evdev::BTN_SOUTH, Button::B},
    {evdev::BTN_EAST, Button::A},
    {evdev::BTN_NORTH, Button::Y},
    {evdev::BTN_WEST, Button::X},
    {evdev::BTN_TL, Button::L1},
    {evdev::BTN_TR, Button::R1},
    {evdev::BTN_TL2, Button::L2},
    {evdev::BTN_TR2, Button::R2},
    {evdev::BTN_SELECT, Button::Select},
    {evdev::BTN_START, Button::Start},
    {evdev::BTN_MODE, Button::Menu},
    {evdev::BTN_DPAD_UP, Button::Up},
    {evdev::BTN_DPAD_DOWN, Button::Down},
    {evdev::BTN_DPAD_LEFT, Button::Left},
    {evdev::BTN_DPAD_RIGHT, Button::Right},
    {evdev::BTN_TRIGGER_HAPPY1, Button::Menu},
    {evdev::BTN_TRIGGER_HAPPY2, Button::Menu},
}};

}  // namespace

EvdevEvent parse_event(const uint8_t* record) {
    EvdevEvent e;
    std::memcpy(&e.type, record + EVENT_TYPE_OFFSET, sizeof e.type);
    std::memcpy(&e.code, record + EVENT_CODE_OFFSET, sizeof e.code);
    std::memcpy(&e.value, record + EVENT_VALUE_OFFSET, sizeof e.value);
    return e;
}

std::vector<EvdevEvent> parse_events(const uint8_t* data, size_t length) {
    std::vector<EvdevEvent> events;
    events.reserve(length / EVENT_SIZE);
    for (size_t at = 0; at + EVENT_SIZE <= length; at += EVENT_SIZE) events.push_back(parse_event(data + at));
    return events;
}

std::optional<Button> key_button(uint16_t code) {
    for (const KeyMapping& k : KEY_TABLE) {
        if (k.code == code) return k.button;
    }
    return std::nullopt;
}

Axis axis_of(uint16_t code) {
    switch (code) {
        case evdev::ABS_X:
        case evdev::ABS_HAT0X:
            return Axis::Horizontal;
        case evdev::ABS_Y:
        case evdev::ABS_HAT0Y:
            return Axis::Vertical;
        default:
            return Axis::None;
    }
}

int axis_direction(int32_t value) {
    if (value < -AXIS_THRESHOLD || value == -1) return -1;
    if (value > AXIS_THRESHOLD || value == 1) return 1;
    return 0;
}

std::vector<std::string> event_node_paths(int first, int count) {
    std::vector<std::string> paths;
    for (int n = first; n < first + count; ++n) paths.push_back(input_event_path(n));
    return paths;
}

EvdevNodes::EvdevNodes(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd) continue;
        poll_set_.push_back(pollfd{fd.get(), POLLIN, 0});
        fds_.push_back(std::move(fd));
    }
}

bool EvdevNodes::poll(int timeout_ms) {
    return ::poll(poll_set_.data(), poll_set_.size(), timeout_ms) > 0;
}

ssize_t EvdevNodes::read(size_t i, uint8_t* buffer, size_t size) { return ::read(fds_[i].get(), buffer, size); }

void EvdevNodes::flush(uint8_t* buffer, size_t size) {
    for (const UniqueFd& fd : fds_) {
        while (::read(fd.get(), buffer, size) > 0) {
        }
    }
}

}  // namespace qz

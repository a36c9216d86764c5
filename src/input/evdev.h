#pragma once

#include <poll.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/unique_fd.h"
#include "input/button.h"

namespace qz {

// One evdev record as the 64-bit kernel writes it: a 16-byte time stamp, then
// type (u16), code (u16) and value (s32). Parsed at fixed offsets, never
// through the host's struct input_event, whose size depends on the ABI.
inline constexpr size_t EVENT_SIZE = 24;
inline constexpr size_t EVENT_TYPE_OFFSET = 16;
inline constexpr size_t EVENT_CODE_OFFSET = 18;
inline constexpr size_t EVENT_VALUE_OFFSET = 20;

inline constexpr uint16_t EV_KEY_TYPE = 1;
inline constexpr uint16_t EV_ABS_TYPE = 3;

// Key values: released, pressed, and the kernel's auto-repeat while held.
inline constexpr int32_t KEY_RELEASED = 0;
inline constexpr int32_t KEY_PRESSED = 1;
inline constexpr int32_t KEY_REPEATED = 2;

// The codes the console sends. Kept in our own namespace instead of taking
// the kernel's header, whose macros of the same names would leak everywhere.
namespace evdev {
inline constexpr uint16_t KEY_ESC = 1;
inline constexpr uint16_t KEY_UP = 103;
inline constexpr uint16_t KEY_LEFT = 105;
inline constexpr uint16_t KEY_RIGHT = 106;
inline constexpr uint16_t KEY_DOWN = 108;
inline constexpr uint16_t KEY_VOLUMEDOWN = 114;
inline constexpr uint16_t KEY_VOLUMEUP = 115;
inline constexpr uint16_t BTN_SOUTH = 304;
inline constexpr uint16_t BTN_EAST = 305;
inline constexpr uint16_t BTN_NORTH = 307;
inline constexpr uint16_t BTN_WEST = 308;
inline constexpr uint16_t BTN_TL = 310;
inline constexpr uint16_t BTN_TR = 311;
inline constexpr uint16_t BTN_TL2 = 312;
inline constexpr uint16_t BTN_TR2 = 313;
inline constexpr uint16_t BTN_SELECT = 314;
inline constexpr uint16_t BTN_START = 315;
inline constexpr uint16_t BTN_MODE = 316;
inline constexpr uint16_t BTN_DPAD_UP = 544;
inline constexpr uint16_t BTN_DPAD_DOWN = 545;
inline constexpr uint16_t BTN_DPAD_LEFT = 546;
inline constexpr uint16_t BTN_DPAD_RIGHT = 547;
inline constexpr uint16_t BTN_TRIGGER_HAPPY1 = 704;
inline constexpr uint16_t BTN_TRIGGER_HAPPY2 = 705;

inline constexpr uint16_t ABS_X = 0;
inline constexpr uint16_t ABS_Y = 1;
inline constexpr uint16_t ABS_HAT0X = 16;
inline constexpr uint16_t ABS_HAT0Y = 17;
}  // namespace evdev

// One decoded record, every value kept: releases, auto-repeats and raw axis
// positions included.
struct EvdevEvent {
    uint16_t type = 0;
    uint16_t code = 0;
    int32_t value = 0;
};

EvdevEvent parse_event(const uint8_t* record);

// The whole records among the first length bytes of a read, in order; a
// trailing part of a record is dropped.
std::vector<EvdevEvent> parse_events(const uint8_t* data, size_t length);

// The button of an EV_KEY code, nullopt for codes the console does not use.
std::optional<Button> key_button(uint16_t code);

// Which way an EV_ABS code points: the stick and the hat share each axis.
enum class Axis { None, Horizontal, Vertical };
Axis axis_of(uint16_t code);

// -1 below -16000 or exactly -1 (hat), +1 above 16000 or exactly +1, else 0.
inline constexpr int32_t AXIS_THRESHOLD = 16000;
int axis_direction(int32_t value);

// "/dev/input/event{first}" onwards under the device root, count of them.
std::vector<std::string> event_node_paths(int first, int count);

// The event nodes that opened, read-only and non-blocking; the others are
// skipped without a word. Closed when the object goes.
class EvdevNodes {
public:
    explicit EvdevNodes(const std::vector<std::string>& paths);

    bool empty() const { return fds_.empty(); }
    size_t size() const { return fds_.size(); }

    // Waits up to timeout_ms for data on any node; true when some node has it.
    bool poll(int timeout_ms);
    // Whether node i had data at the last poll().
    bool ready(size_t i) const { return (poll_set_[i].revents & POLLIN) != 0; }
    // One non-blocking read of node i: bytes read, 0 or -1 when there were none.
    ssize_t read(size_t i, uint8_t* buffer, size_t size);
    // Throws away everything waiting on every node.
    void flush(uint8_t* buffer, size_t size);

private:
    std::vector<UniqueFd> fds_;
    std::vector<pollfd> poll_set_;
};

}  // namespace qz

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/channel.h"
#include "input/button.h"

namespace qz {

// One evdev record as the 64-bit kernel writes it: a 16-byte time stamp, then
// type (u16), code (u16) and value (s32). Parsed at fixed offsets, never
// through the host's struct input_event, whose size depends on the ABI.
inline constexpr size_t EVENT_SIZE = 24;
inline constexpr size_t EVENT_TYPE_OFFSET = 16;
inline constexpr size_t EVENT_CODE_OFFSET = 18;
inline constexpr size_t EVENT_VALUE_OFFSET = 20;
inline constexpr size_t INPUT_BUFFER_SIZE = 64 * EVENT_SIZE;

inline constexpr uint16_t EV_KEY_TYPE = 1;
inline constexpr uint16_t EV_ABS_TYPE = 3;
inline constexpr int32_t AXIS_THRESHOLD = 16000;

struct InputEvent {
    uint16_t type = 0;
    uint16_t code = 0;
    int32_t value = 0;
};

// Last direction seen per axis, -1, 0 or +1. Stick and hat share it, so
// holding a direction on either sends one value only.
struct AxisState {
    int8_t horizontal = 0;
    int8_t vertical = 0;
};

InputEvent parse_event(const uint8_t* record);

// The button of an EV_KEY code, nullopt for codes the console does not use.
std::optional<Button> key_button(uint16_t code);

// -1 below -16000 or exactly -1 (hat), +1 above 16000 or exactly +1, else 0.
int axis_direction(int32_t value);

// Turns one event into at most one button, updating the axis state.
std::optional<Button> button_for_event(AxisState& state, const InputEvent& event);

// "/dev/input/event0" to "/dev/input/event3" under the device root.
std::vector<std::string> default_event_nodes();

// The thread's whole life: open the nodes, flush, then poll for ever. Returns
// only when no node opened.
void run_input_loop(Sender<Button> sender, const std::vector<std::string>& nodes);

// Starts run_input_loop on a detached thread. False when the thread could not
// be created.
bool start_input_thread(Sender<Button> sender, std::vector<std::string> nodes);

}  // namespace qz

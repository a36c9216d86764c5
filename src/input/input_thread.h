#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/channel.h"
#include "input/button.h"
#include "input/evdev.h"

namespace qz {

inline constexpr size_t INPUT_BUFFER_SIZE = 64 * EVENT_SIZE;

// Last direction seen per axis, -1, 0 or +1. Stick and hat share it, so
// holding a direction on either sends one value only.
struct AxisState {
    int8_t horizontal = 0;
    int8_t vertical = 0;
};

// Turns one event into at most one button, updating the axis state: presses
// and auto-repeats of mapped keys, and each new direction of an axis.
std::optional<Button> button_for_event(AxisState& state, const EvdevEvent& event);

// "/dev/input/event0" to "/dev/input/event3" under the device root.
std::vector<std::string> default_event_nodes();

// The thread's whole life: open the nodes, flush, then poll for ever. Returns
// only when no node opened.
void run_input_loop(Sender<Button> sender, const std::vector<std::string>& nodes);

// Starts run_input_loop on a detached thread. False when the thread could not
// be created.
bool start_input_thread(Sender<Button> sender, std::vector<std::string> nodes);

}  // namespace qz

#include "input/input_thread.h"

#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

#include "common/log.h"

namespace qz {

namespace {

std::optional<Button> axis_button(int8_t& state, int direction, Button negative, Button positive) {
    if (direction == 0) {
        state = 0;
        return std::nullopt;
    }
    if (state == direction) return std::nullopt;
    state = static_cast<int8_t>(direction);
    return direction < 0 ? negative : positive;
}

void handle_read(AxisState& axes, const Sender<Button>& sender, const uint8_t* buffer, ssize_t n) {
    if (n <= 0) return;
    for (const EvdevEvent& e : parse_events(buffer, static_cast<size_t>(n))) {
        if (auto button = button_for_event(axes, e)) sender.send(*button);
    }
}

}  // namespace

std::optional<Button> button_for_event(AxisState& state, const EvdevEvent& event) {
    if (event.type == EV_KEY_TYPE) {
        // Releases send nothing.
        if (event.value != KEY_PRESSED && event.value != KEY_REPEATED) return std::nullopt;
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

std::vector<std::string> default_event_nodes() { return event_node_paths(0, 4); }

void run_input_loop(Sender<Button> sender, const std::vector<std::string>& paths) {
    // The polling loop never ends, so in practice the nodes stay open for the
    // life of the process.
    EvdevNodes nodes(paths);
    if (nodes.empty()) {
        log::input("Notice: No evdev event nodes opened.");
        return;
    }
    std::vector<uint8_t> buffer(INPUT_BUFFER_SIZE, 0);
    // Presses made before we started are stale: throw them away.
    nodes.flush(buffer.data(), buffer.size());
    AxisState axes;
    for (;;) {
        if (nodes.poll(50)) {
            for (size_t i = 0; i < nodes.size(); ++i) {
                if (!nodes.ready(i)) continue;
                handle_read(axes, sender, buffer.data(), nodes.read(i, buffer.data(), buffer.size()));
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

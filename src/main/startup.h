#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/channel.h"
#include "graphics/framebuffer.h"
#include "input/button.h"
#include "main/device_profile.h"
#include "main/paths.h"

namespace qz {

// Everything start-up hands to the main loop. Later stages (thumbnails,
// catalog, history) add their pieces here.
struct StartupContext {
    DeviceProfile profile;
    Framebuffer framebuffer;
    Receiver<Button> input;
    AppPaths paths;
};

// True when some argument (not the program name) is exactly "--reset-disp".
bool wants_display_reset(const std::vector<std::string>& args);

// Whether the input thread should run: not in forced simulator mode, and the
// framebuffer device node exists.
bool should_start_input(bool simulator);

void print_banner();

// The start-up sequence after the command line. nullopt when a thread could
// not be started (the message has been written).
std::optional<StartupContext> start_up();

// Stands in for the main loop until the screens exist: shows the home
// background and leaves on B. Returns the exit status.
int run_provisional_loop(StartupContext& ctx);

// The whole program: command line, start-up, main loop, shutdown. Returns the
// process exit status.
int run_program(int argc, char** argv);

}  // namespace qz

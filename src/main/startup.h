#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/channel.h"
#include "common/device_profile.h"
#include "graphics/framebuffer.h"
#include "input/button.h"
#include "main/app_config.h"
#include "main/app_state.h"
#include "main/app_workers.h"
#include "main/main_loop.h"
#include "main/paths.h"

namespace qz {

// What a start is made of. The program passes the build's configuration; the
// screenshot tool and tests change the rest.
struct StartupOptions {
    AppConfig config;
    // Plays the episodes; nullptr: the real launcher.
    std::shared_ptr<Player> player;
    // A back buffer of this size in memory only, instead of opening a device.
    std::optional<ScreenSize> screen_size;
    // The caller sends the buttons itself (input_feed); no input thread runs.
    bool external_input = false;
};

// Everything the main loop runs on. Heap-allocated once so the references the
// loop holds stay put.
struct StartupContext {
    StartupContext(DeviceProfile p, Framebuffer fb) : profile(p), framebuffer(std::move(fb)) {}

    DeviceProfile profile;
    Framebuffer framebuffer;
    Receiver<Button> input;
    Sender<Button> input_feed;  // set only with external_input
    AppPaths paths;
    std::unique_ptr<ThumbnailCache> thumbnails;
    std::unique_ptr<PosterLookup> posters;
    Sender<WorkerMessage> results_sender;
    Receiver<WorkerMessage> results;
    std::unique_ptr<AppWorkers> workers;
    std::shared_ptr<Player> player;
    AppState state;

    LoopContext loop_context();
};

// True when some argument (not the program name) is exactly "--reset-disp".
bool wants_display_reset(const std::vector<std::string>& args);

// Whether the input thread should run: not in forced simulator mode, and the
// framebuffer device node exists.
bool should_start_input(bool simulator);

void print_banner(const std::string& app_version);

// The start-up sequence after the command line, up to the first pass of the
// main loop. nullptr when a thread could not be started (the message has been
// written).
std::unique_ptr<StartupContext> start_up(const StartupOptions& options);

// Leaves the loop and releases everything, the framebuffer last.
void shut_down(std::unique_ptr<StartupContext> ctx);

// The whole program: command line, start-up, main loop, shutdown. Returns the
// process exit status.
int run_program(int argc, char** argv, const AppConfig& config);

}  // namespace qz

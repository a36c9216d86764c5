#include "main/startup.h"

#include <sys/stat.h>

#include <chrono>
#include <thread>
#include <utility>

#include "build_config.h"
#include "common/device_path.h"
#include "common/log.h"
#include "input/input_thread.h"
#include "main/device_detect.h"
#include "player/display_layer.h"

namespace qz {

namespace {

constexpr Color HOME_BACKGROUND = 0xff0e0a1a;
constexpr auto FRAME_PERIOD = std::chrono::milliseconds(16);
constexpr int SPAWN_FAILURE_STATUS = 1;

int reset_display() {
    log::native("Restoring Allwinner display layer to opaque mode...");
    set_layer_transparency(false);
    return 0;
}

void report_spawn_failure() { log::plain("failed to spawn thread"); }

}  // namespace

bool wants_display_reset(const std::vector<std::string>& args) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--reset-disp") return true;
    }
    return false;
}

bool should_start_input(bool simulator) {
    struct stat st{};
    return !simulator && ::stat(device_path("/dev/fb0").c_str(), &st) == 0;
}

void print_banner() {
    const std::string rule(49, '=');
    log::plain(rule);
    log::plain(" 🚀 Starting QZ-NUVALTO for TrimUI (All Media)");
    log::plain(std::string(" Version: ") + APP_VERSION);
    log::plain(rule);
}

std::optional<StartupContext> start_up() {
    const DeviceProfile profile = detect_device_profile();
    const bool simulator = simulator_forced();
    StartupContext ctx{profile, Framebuffer::open(profile), {}, {}};

    auto [input_sender, input_receiver] = make_channel<Button>();
    ctx.input = std::move(input_receiver);
    if (should_start_input(simulator)) {
        if (!start_input_thread(std::move(input_sender), default_event_nodes())) {
            report_spawn_failure();
            return std::nullopt;
        }
    }
    // Without an input thread the sending end goes here and no button arrives.
    input_sender.reset();

    ctx.paths = paths_for(app_dir_exists());
    create_dir_all(ctx.paths.thumbnail_dir);  // failure is handled by the thumbnail writers
    return ctx;
}

int run_provisional_loop(StartupContext& ctx) {
    ctx.framebuffer.clear(HOME_BACKGROUND);
    ctx.framebuffer.present();
    for (;;) {
        const auto frame_start = std::chrono::steady_clock::now();
        for (Button b : ctx.input.drain()) {
            if (b == Button::B) {
                log::plain("Exiting QZ-Nuvalto...");
                return 0;
            }
        }
        ctx.framebuffer.clear(HOME_BACKGROUND);
        ctx.framebuffer.present();
        std::this_thread::sleep_until(frame_start + FRAME_PERIOD);
    }
}

int run_program(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    if (wants_display_reset(args)) return reset_display();
    print_banner();
    std::optional<StartupContext> ctx = start_up();
    if (!ctx) return SPAWN_FAILURE_STATUS;
    return run_provisional_loop(*ctx);
}

}  // namespace qz

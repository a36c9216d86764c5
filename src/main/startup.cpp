#include "main/startup.h"

#include <sys/stat.h>

#include <utility>

#include "catalog/catalog_cache.h"
#include "common/detached_thread.h"
#include "common/device_path.h"
#include "common/device_paths.h"
#include "common/log.h"
#include "history/history.h"
#include "input/input_thread.h"
#include "main/device_detect.h"
#include "player/display_layer.h"

namespace qz {

namespace {

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
    return !simulator && ::stat(device_path(paths::FRAMEBUFFER).c_str(), &st) == 0;
}

void print_banner(const std::string& app_version) {
    const std::string rule(49, '=');
    log::plain(rule);
    log::plain(" 🚀 Starting QZ-NUVALTO for TrimUI (All Media)");
    log::plain(" Version: " + app_version);
    log::plain(rule);
}

LoopContext StartupContext::loop_context() {
    return LoopContext{state,   framebuffer, *posters, *workers,
                       *player, input,       results,  [] { return catalog_cache_path(); }};
}

namespace {

Framebuffer open_framebuffer(DeviceProfile profile, const StartupOptions& options) {
    if (options.screen_size) return Framebuffer::in_memory(options.screen_size->width, options.screen_size->height);
    return Framebuffer::open(profile);
}

// Steps that start threads; std::system_error escapes when one cannot start.
void start_threads(StartupContext& ctx, const StartupOptions& options, bool simulator) {
    auto [input_sender, input_receiver] = make_channel<Button>();
    ctx.input = std::move(input_receiver);
    if (options.external_input) {
        ctx.input_feed = std::move(input_sender);
    } else if (should_start_input(simulator)) {
        if (!start_input_thread(std::move(input_sender), default_event_nodes())) {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        }
    }
    // Without an input thread the sending end goes here and no button arrives.
    input_sender.reset();

    ctx.paths.thumbnail_dir = thumbnail_dir();
    create_dir_all(ctx.paths.thumbnail_dir);  // failure is handled by the thumbnail writers
    ThumbnailCacheOptions thumbs;
    thumbs.cache_dir = ctx.paths.thumbnail_dir;
    ctx.thumbnails = std::make_unique<ThumbnailCache>(thumbs);
    ctx.posters = std::make_unique<ThumbnailPosters>(*ctx.thumbnails);

    ctx.paths.history = history_path();
    auto [results_sender, results_receiver] = make_channel<WorkerMessage>();
    ctx.results_sender = std::move(results_sender);
    ctx.results = std::move(results_receiver);
    ctx.workers = std::make_unique<AppWorkers>(ctx.results_sender, options.config);
    ctx.player = options.player ? options.player : std::make_shared<AppPlayer>(options.config);

    ctx.state.home.catalog_cache = load_catalog_cache(catalog_cache_path());
    ctx.state.history_path = ctx.paths.history;
    ctx.state.update.manifest_url = options.config.update_manifest_url;
    ctx.state.update.app_version = options.config.app_version;
    build_initial_shelves(ctx.state, load_history(ctx.paths.history));
    ctx.workers->fetch_all_shelves();
}

}  // namespace

std::unique_ptr<StartupContext> start_up(const StartupOptions& options) {
    const DeviceProfile profile = detect_device_profile();
    const bool simulator = simulator_forced();
    auto ctx = std::make_unique<StartupContext>(profile, open_framebuffer(profile, options));
    ctx->paths = paths_for(app_dir_exists());
    try {
        start_threads(*ctx, options, simulator);
    } catch (const std::system_error&) {
        report_spawn_failure();
        return nullptr;
    }
    return ctx;
}

void shut_down(std::unique_ptr<StartupContext> ctx) {
    log::plain("Exiting QZ-Nuvalto...");
    // Workers still running are not waited for; the framebuffer goes last.
    Framebuffer framebuffer = std::move(ctx->framebuffer);
    ctx.reset();
}

int run_program(int argc, char** argv, const AppConfig& config) {
    const std::vector<std::string> args(argv, argv + argc);
    if (wants_display_reset(args)) return reset_display();
    print_banner(config.app_version);
    StartupOptions options;
    options.config = config;
    std::unique_ptr<StartupContext> ctx = start_up(options);
    if (!ctx) return SPAWN_FAILURE_STATUS;
    LoopContext loop = ctx->loop_context();
    run_main_loop(loop);
    shut_down(std::move(ctx));
    return 0;
}

}  // namespace qz

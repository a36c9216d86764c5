// The real program, started as on the device but drawing into memory, with the
// buttons of a script fed through its input channel one per pass.

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "main/startup.h"
#include "shot.h"

namespace qz::shot {
namespace {

// One step of a script: press a button, keep the loop running, or save.
struct Step {
    enum class Kind { Press, Wait, Shot } kind;
    Button button = Button::A;
    int milliseconds = 0;
    std::string path;
};

std::variant<std::vector<Step>, std::string> parse_script(std::string_view script) {
    std::vector<Step> steps;
    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find(';', start);
        if (end == std::string_view::npos) end = script.size();
        std::string_view step = script.substr(start, end - start);
        start = end + 1;
        if (step.empty()) continue;
        if (step.starts_with("wait:")) {
            std::string digits(step.substr(5));
            if (digits.empty() || digits.size() > 7 || digits.find_first_not_of("0123456789") != std::string::npos) {
                return "bad wait step: " + std::string(step);
            }
            steps.push_back(Step{Step::Kind::Wait, Button::A, std::stoi(digits), {}});
        } else if (step.starts_with("shot:")) {
            if (step.size() == 5) return std::string("shot: needs a file name");
            steps.push_back(Step{Step::Kind::Shot, Button::A, 0, std::string(step.substr(5))});
        } else if (auto button = button_from_name(step)) {
            steps.push_back(Step{Step::Kind::Press, *button, 0, {}});
        } else {
            return "unknown step: " + std::string(step);
        }
    }
    return steps;
}

// Runs passes paced like the real loop for the given time; false once the
// user left the program.
bool run_for(LoopContext& loop, std::chrono::milliseconds duration) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + duration;
    do {
        const auto pass_start = steady_clock::now();
        if (!run_pass(loop)) return false;
        std::this_thread::sleep_until(pass_start + milliseconds(16));
    } while (steady_clock::now() < deadline);
    return true;
}

// Screens only: a chosen episode "plays" for no time and ends where it would
// have resumed, so the history keeps its place and no player is started.
class ShotPlayer final : public Player {
public:
    PlaybackOutcome play(Framebuffer&, const PlayRequest& request) override {
        std::fprintf(stderr, "qz-shot: not playing %s\n", request.url.c_str());
        return PlaybackOutcome{request.resume_secs.value_or(0), PlaybackAction::Exited, 0};
    }
};

}  // namespace

int run_catalog(const Options& o) {
    auto parsed = parse_script(o.script);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "qz-shot: %s\n", error->c_str());
        return 2;
    }
    StartupOptions startup;
    startup.config = build_app_config();
    startup.config.catalog_base_url = o.mode_value;
    if (!o.update_url.empty()) startup.config.update_manifest_url = o.update_url;
    startup.player = std::make_shared<ShotPlayer>();
    startup.screen_size = ScreenSize{o.width, o.height};
    startup.external_input = true;
    std::unique_ptr<StartupContext> ctx = start_up(startup);
    if (!ctx) return 1;
    LoopContext loop = ctx->loop_context();
    bool running = run_pass(loop);
    for (const Step& step : std::get<std::vector<Step>>(parsed)) {
        if (!running) break;
        switch (step.kind) {
            case Step::Kind::Press:
                ctx->input_feed.send(step.button);
                running = run_pass(loop);
                break;
            case Step::Kind::Wait:
                running = run_for(loop, std::chrono::milliseconds(step.milliseconds));
                break;
            case Step::Kind::Shot:
                if (save_png(ctx->framebuffer, step.path, o.rgba) != 0) return 1;
                break;
        }
    }
    return save(ctx->framebuffer, o);
}

}  // namespace qz::shot

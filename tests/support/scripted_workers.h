#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/channel.h"
#include "main/main_loop.h"

namespace qz::test {

// One playback the loop asked for.
struct PlayCall {
    std::string url, title, label;
    std::optional<int64_t> resume;
};

// Workers that start nothing: they record what the loop and the screens
// asked for, in order.
struct ScriptedWorkers : Workers {
    std::vector<std::string> calls;
    bool install_accepted = true;

    void fetch_all_shelves() override { calls.push_back("fetch_all_shelves"); }
    void fetch_detail(const std::string& slug) override { calls.push_back("fetch_detail " + slug); }
    void start_search(const std::string& q) override { calls.push_back("start_search " + q); }
    void start_update_check() override { calls.push_back("start_update_check"); }
    bool start_update_install(const OtaManifest& m) override {
        calls.push_back("install " + m.download_url);
        return install_accepted;
    }
};

// A player that plays nothing: it records each request and answers from a
// script.
struct ScriptedPlayer : Player {
    std::vector<PlayCall> plays;
    std::vector<PlaybackOutcome> outcomes;  // answers in order; then the default outcome
    Sender<Button>* input = nullptr;        // when set, B is "pressed" during each playback

    PlaybackOutcome play(Framebuffer&, const PlayRequest& request) override {
        plays.push_back({request.url, request.title, request.episode_label, request.resume_secs});
        if (input) input->send(Button::B);
        PlaybackOutcome out = outcomes.empty() ? PlaybackOutcome{} : outcomes.front();
        if (!outcomes.empty()) outcomes.erase(outcomes.begin());
        return out;
    }
};

// A loop context over hand-built state, scripted workers and player, and
// real channels.
struct ScriptedLoop {
    explicit ScriptedLoop(uint32_t width = 1280, uint32_t height = 720) : fb(Framebuffer::in_memory(width, height)) {
        auto [in_tx, in_rx] = make_channel<Button>();
        input_tx = std::move(in_tx);
        input_rx = std::move(in_rx);
        auto [res_tx, res_rx] = make_channel<WorkerMessage>();
        results_tx = std::move(res_tx);
        results_rx = std::move(res_rx);
    }

    // The context's cache path reads this object: it stays where it is.
    ScriptedLoop(const ScriptedLoop&) = delete;
    ScriptedLoop& operator=(const ScriptedLoop&) = delete;

    LoopContext ctx() {
        return LoopContext{state, fb, posters, workers, player, input_rx, results_rx,
                           [this] { return catalog_cache_path; }};
    }

    AppState state;
    Framebuffer fb;
    NoPosters posters;
    ScriptedWorkers workers;
    ScriptedPlayer player;
    Sender<Button> input_tx;
    Receiver<Button> input_rx;
    Sender<WorkerMessage> results_tx;
    Receiver<WorkerMessage> results_rx;
    // Where a loaded category is cached; empty: nowhere (no test loads one).
    std::string catalog_cache_path;
};

}  // namespace qz::test

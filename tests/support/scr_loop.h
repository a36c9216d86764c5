#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/channel.h"
#include "main/main_loop.h"

namespace qz::test {

// Records what the screens asked the workers for, in order.
struct ScrFakeWorkers : Workers {
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

// Records what the screens asked to play; every session ends at once.
struct ScrFakePlayer : Player {
    std::vector<std::string> calls;
    PlaybackOutcome play(Framebuffer&, const PlayRequest& request) override {
        calls.push_back("play " + request.url);
        return {};
    }
};

// A loop context over hand-built state, scripted workers and real channels.
struct ScrLoop {
    explicit ScrLoop(uint32_t width = 1280, uint32_t height = 720);

    LoopContext ctx();

    AppState state;
    Framebuffer fb;
    NoPosters posters;
    ScrFakeWorkers workers;
    ScrFakePlayer player;
    Sender<Button> input_tx;
    Receiver<Button> input_rx;
    Sender<WorkerMessage> results_tx;
    Receiver<WorkerMessage> results_rx;
};

}  // namespace qz::test

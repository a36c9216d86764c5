#include "support/scr_loop.h"

namespace qz::test {

ScrLoop::ScrLoop(uint32_t width, uint32_t height) : fb(Framebuffer::in_memory(width, height)) {
    auto [in_tx, in_rx] = make_channel<Button>();
    input_tx = std::move(in_tx);
    input_rx = std::move(in_rx);
    auto [res_tx, res_rx] = make_channel<WorkerMessage>();
    results_tx = std::move(res_tx);
    results_rx = std::move(res_rx);
}

LoopContext ScrLoop::ctx() {
    // No test here loads a category, so the catalog cache is never written.
    return LoopContext{state, fb, posters, workers, player, input_rx, results_rx, [] { return std::string(); }};
}

}  // namespace qz::test

#pragma once

#include <functional>
#include <string>

#include "common/channel.h"
#include "graphics/framebuffer.h"
#include "graphics/text_renderer.h"
#include "input/button.h"
#include "main/app_state.h"
#include "main/poster_lookup.h"
#include "main/worker_message.h"
#include "main/workers.h"

namespace qz {

// What one pass of the loop works with besides the state.
struct LoopContext {
    AppState& state;
    Framebuffer& fb;
    PosterLookup& posters;
    Workers& workers;
    Player& player;
    Receiver<Button>& input;
    Receiver<WorkerMessage>& results;
    // Asked each time the cache is written: the data directory may appear.
    std::function<std::string()> catalog_cache_path;
};

enum class KeyResult { Continue, ExitProgram };

void handle_message(LoopContext& ctx, WorkerMessage message);
KeyResult handle_key(LoopContext& ctx, Button button);

// Draws the screen the state is on into the back buffer (no present).
void draw_app_screen(const AppState& state, PosterLookup& posters, TextRenderer& text);
void draw_screen(LoopContext& ctx);

// Results, input, draw, present. False when the user left the program.
bool run_pass(LoopContext& ctx);

// Passes paced to 16 ms until the user leaves from the home screen.
void run_main_loop(LoopContext& ctx);

}  // namespace qz

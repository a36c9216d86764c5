#pragma once

#include "graphics/text_renderer.h"
#include "main/app_state.h"
#include "main/poster_lookup.h"

namespace qz {

// Draws the home screen from the state; changes nothing but pixels.
void draw_home(const AppState& state, PosterLookup& posters, TextRenderer& text);

}  // namespace qz

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "catalog/media_records.h"
#include "graphics/text_renderer.h"
#include "history/history.h"
#include "main/app_state.h"
#include "main/poster_lookup.h"

namespace qz {

// The description as the synopsis shows it: paragraph tags dropped, line-break
// tags turned into line feeds (word breaks once wrapped). Other markup stays.
std::string clean_synopsis(std::string_view description);

// quality, lang and time, those present, joined by " • ".
std::string detail_meta_line(const MediaDetail& detail);

// The number shown for the episode at position index: its own, else index + 1.
uint64_t displayed_episode_number(const EpisodeItem& episode, size_t index);

// One row of the episode list, shortened as drawn, with the watched suffix when
// the history record is on this episode past its first second.
std::string episode_row_label(const EpisodeItem& episode, size_t index, const std::optional<HistoryItem>& record);

// The line inside the resume box.
std::string resume_box_text(const HistoryItem& record);

// The play button's text of a film (one episode or none).
std::string film_button_text(const std::optional<HistoryItem>& record);

// Draws the detail screen from the state; changes nothing but pixels.
void draw_detail(const AppState& state, PosterLookup& posters, TextRenderer& text);

}  // namespace qz

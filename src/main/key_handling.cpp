#include <algorithm>
#include <string>

#include "common/log.h"
#include "history/history.h"
#include "main/main_loop.h"
#include "main/search_screen.h"
#include "main/update_screen.h"

namespace qz {

namespace {

std::string resume_text(std::optional<int64_t> resume) {
    return resume ? "Some(" + std::to_string(*resume) + ")" : "None";
}

// After a session: the buttons pressed meanwhile must not reach the screen.
void discard_buttons(LoopContext& ctx) {
    while (ctx.input.try_recv()) {
    }
}

std::vector<HistoryItem> reload_history(LoopContext& ctx) {
    std::vector<HistoryItem> history = load_history(ctx.state.history_path);
    rebuild_history_shelf(ctx.state, history);
    return history;
}

void play_history_entry(LoopContext& ctx, const HistoryItem& h) {
    std::string label = h.episode_title + " [" + h.server_name + "]";
    std::optional<int64_t> resume;
    if (h.last_pos_secs >= 1) resume = h.last_pos_secs;
    log::playback("Auto-Resuming '" + h.movie_title + "' at " + resume_text(resume) + "s");
    PlaybackOutcome outcome = ctx.workers.play(ctx.fb, h.play_url, h.movie_title, label, resume);
    discard_buttons(ctx);
    record_progress(ctx.state.history_path, h.movie_id, h.movie_title, h.poster_url, h.server_name,
                    h.episode_number, h.episode_title, h.play_url, outcome.position_secs, outcome.duration_secs);
    reload_history(ctx);
}

// Plays episode i; returns the next index to play, or nothing to stop.
std::optional<size_t> play_episode(LoopContext& ctx, size_t i) {
    AppState& state = ctx.state;
    const MediaDetail& detail = *state.detail;
    const EpisodeItem& e = (*detail.episodes)[i];
    std::string server = e.server_name.value_or("Server 1");
    uint32_t number = e.number.value_or(static_cast<uint32_t>(i + 1));
    std::string label = e.title + " [" + server + "]";
    std::optional<int64_t> resume;
    const auto& record = state.detail_history;
    if (record && record->episode_number == number && record->last_pos_secs >= 1) resume = record->last_pos_secs;
    log::playback("Starting: '" + detail.title + "' - '" + label + "' (resume: " + resume_text(resume) + "s)");
    PlaybackOutcome outcome = ctx.workers.play(ctx.fb, e.url, detail.title, label, resume);
    discard_buttons(ctx);
    record_progress(state.history_path, detail.id, detail.title, detail.thumbnail.value_or(""), server, number,
                    e.title, e.url, outcome.position_secs, outcome.duration_secs);
    std::vector<HistoryItem> history = reload_history(ctx);
    auto found = std::find_if(history.begin(), history.end(),
                              [&](const HistoryItem& h) { return h.movie_id == detail.id; });
    state.detail_history = found == history.end() ? std::nullopt : std::optional<HistoryItem>(*found);
    const size_t count = detail.episodes->size();
    switch (outcome.action) {
        case PlaybackAction::NextEpisode:
            if (i + 1 < count) return i + 1;
            return std::nullopt;
        case PlaybackAction::PrevEpisode:
            if (i > 0) return i - 1;
            return std::nullopt;
        case PlaybackAction::Exited:
            return std::nullopt;
    }
    return std::nullopt;
}

void play_episode_chain(LoopContext& ctx) {
    AppState& state = ctx.state;
    if (!state.detail || !state.detail->episodes) return;
    if (state.episode_index >= state.detail->episodes->size()) return;
    std::optional<size_t> next = state.episode_index;
    while (next) {
        state.episode_index = *next;
        next = play_episode(ctx, *next);
    }
}

void open_focused_card(LoopContext& ctx) {
    const ShelfEntry* entry = focused_entry(ctx.state);
    if (entry == nullptr) return;
    if (const auto* item = std::get_if<MediaItem>(entry)) {
        ctx.workers.fetch_detail(item->slug);
    } else {
        HistoryItem h = std::get<HistoryItem>(*entry);  // the shelf is rebuilt during playback
        play_history_entry(ctx, h);
    }
}

KeyResult handle_home_key(LoopContext& ctx, Button button) {
    AppState& state = ctx.state;
    const size_t count = state.shelves.size();
    switch (button) {
        case Button::Up:
            if (state.selected_shelf > 0) --state.selected_shelf;
            break;
        case Button::Down:
            if (state.selected_shelf + 1 < count) ++state.selected_shelf;
            break;
        case Button::Left:
            if (state.selected_shelf < count && state.selected_entry[state.selected_shelf] > 0) {
                --state.selected_entry[state.selected_shelf];
            }
            break;
        case Button::Right:
            if (state.selected_shelf < count) {
                size_t& index = state.selected_entry[state.selected_shelf];
                size_t entries = state.shelves[state.selected_shelf].entries.size();
                if (entries > 0 && index + 1 < entries) ++index;
            }
            break;
        case Button::L1:
            if (count > 0) state.selected_shelf = state.selected_shelf == 0 ? count - 1 : state.selected_shelf - 1;
            break;
        case Button::R1:
            if (count > 0) state.selected_shelf = state.selected_shelf + 1 >= count ? 0 : state.selected_shelf + 1;
            break;
        case Button::A:
            open_focused_card(ctx);
            break;
        case Button::B:
            return KeyResult::ExitProgram;
        case Button::X:
            ctx.workers.fetch_all_shelves();
            break;
        case Button::Y:
        case Button::Select:
            state.screen = Screen::Search;
            break;
        case Button::Start:
            state.update_state = UpdateChecking{};
            state.pending_manifest.reset();
            ctx.workers.start_update_check();
            state.screen = Screen::Update;
            break;
        case Button::L2:
        case Button::R2:
        case Button::Menu:
            break;
    }
    return KeyResult::Continue;
}

void handle_detail_key(LoopContext& ctx, Button button) {
    AppState& state = ctx.state;
    const size_t count = state.detail && state.detail->episodes ? state.detail->episodes->size() : 0;
    switch (button) {
        case Button::Up:
            if (state.episode_index > 0) {
                --state.episode_index;
                state.episode_top = std::min(state.episode_top, state.episode_index);
            }
            break;
        case Button::Down:
            if (state.detail && state.detail->episodes && state.episode_index + 1 < count) {
                ++state.episode_index;
                // Nine rows are visible.
                if (state.episode_index >= state.episode_top + 9) state.episode_top = state.episode_index - 8;
            }
            break;
        case Button::A:
            play_episode_chain(ctx);
            break;
        case Button::B:
            state.screen = Screen::Home;
            break;
        default:
            break;
    }
}

}  // namespace

KeyResult handle_key(LoopContext& ctx, Button button) {
    switch (ctx.state.screen) {
        case Screen::Home:
            return handle_home_key(ctx, button);
        case Screen::Detail:
            handle_detail_key(ctx, button);
            break;
        case Screen::Search:
            handle_search_key(ctx, button);
            break;
        case Screen::Update:
            handle_update_key(ctx, button);
            break;
    }
    return KeyResult::Continue;
}

}  // namespace qz

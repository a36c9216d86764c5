#include "main/playback_flow.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/log.h"

namespace qz {

namespace {

std::string resume_text(std::optional<int64_t> resume) {
    return resume ? "Some(" + std::to_string(*resume) + ")" : "None";
}

std::string episode_label(const std::string& episode_title, const std::string& server) {
    return episode_title + " [" + server + "]";
}

// After a session: the buttons pressed meanwhile must not reach the screen.
void discard_buttons(LoopContext& ctx) {
    while (ctx.input.try_recv()) {
    }
}

struct SessionResult {
    PlaybackOutcome outcome;
    std::vector<HistoryItem> history;  // as stored after the session
};

// Runs one session and stores where it ended; the history and the
// continue-watching row are read back so they show the new position.
SessionResult play_and_record(LoopContext& ctx, const PlayRequest& request, HistoryItem viewing) {
    PlaybackOutcome outcome = ctx.player.play(ctx.fb, request);
    discard_buttons(ctx);
    viewing.last_pos_secs = outcome.position_secs;
    viewing.duration_secs = outcome.duration_secs;
    record_progress(ctx.state.history_path, std::move(viewing), wall_clock_secs());
    std::vector<HistoryItem> history = load_history(ctx.state.history_path);
    rebuild_history_shelf(ctx.state, history);
    return {outcome, std::move(history)};
}

// Plays episode i; returns the next index to play, or nothing to stop.
std::optional<size_t> play_episode(LoopContext& ctx, size_t i) {
    AppState& state = ctx.state;
    const MediaDetail& detail = *state.detail.media;
    const EpisodeItem& e = (*detail.episodes)[i];
    const std::string server = e.server_name.value_or("Server 1");
    const uint32_t number = e.number.value_or(static_cast<uint32_t>(i + 1));
    const std::string label = episode_label(e.title, server);
    const std::optional<int64_t> resume = resume_position(state.detail.history, number);
    log::playback("Starting: '" + detail.title + "' - '" + label + "' (resume: " + resume_text(resume) + "s)");
    HistoryItem viewing{detail.id, detail.title, detail.thumbnail.value_or(""), server, number, e.title, e.url};
    const SessionResult session = play_and_record(ctx, {e.url, detail.title, label, resume}, std::move(viewing));
    const std::vector<HistoryItem>& history = session.history;
    auto found =
        std::find_if(history.begin(), history.end(), [&](const HistoryItem& h) { return h.movie_id == detail.id; });
    state.detail.history = found == history.end() ? std::nullopt : std::optional<HistoryItem>(*found);
    return next_episode_index(session.outcome.action, i, detail.episodes->size());
}

}  // namespace

std::optional<size_t> next_episode_index(PlaybackAction action, size_t index, size_t count) {
    switch (action) {
        case PlaybackAction::NextEpisode:
            if (index + 1 < count) return index + 1;
            return std::nullopt;
        case PlaybackAction::PrevEpisode:
            if (index > 0 && index - 1 < count) return index - 1;
            return std::nullopt;
        case PlaybackAction::Exited:
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<int64_t> resume_position(const std::optional<HistoryItem>& record, uint32_t episode_number) {
    if (!record || record->episode_number != episode_number) return std::nullopt;
    return resume_position(*record);
}

std::optional<int64_t> resume_position(const HistoryItem& record) {
    if (record.last_pos_secs >= 1) return record.last_pos_secs;
    return std::nullopt;
}

void play_history_entry(LoopContext& ctx, const HistoryItem& record) {
    const std::optional<int64_t> resume = resume_position(record);
    log::playback("Auto-Resuming '" + record.movie_title + "' at " + resume_text(resume) + "s");
    const PlayRequest request{record.play_url, record.movie_title,
                              episode_label(record.episode_title, record.server_name), resume};
    play_and_record(ctx, request, record);
}

void play_episode_chain(LoopContext& ctx) {
    AppState& state = ctx.state;
    if (!state.detail.media || !state.detail.media->episodes) return;
    if (state.detail.episode_index >= state.detail.media->episodes->size()) return;
    std::optional<size_t> next = state.detail.episode_index;
    while (next) {
        state.detail.episode_index = *next;
        next = play_episode(ctx, *next);
    }
}

}  // namespace qz

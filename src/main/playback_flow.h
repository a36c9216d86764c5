#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "history/history.h"
#include "main/main_loop.h"
#include "player/playback.h"

namespace qz {

// The episode to play after a session that ended with action at index of a
// list of count episodes; nothing ends the chain.
std::optional<size_t> next_episode_index(PlaybackAction action, size_t index, size_t count);

// Where to resume a title from its history record: its stored position when
// the record is for this episode and the position is 1 s or more.
std::optional<int64_t> resume_position(const std::optional<HistoryItem>& record, uint32_t episode_number);

// The same for a continue-watching card, which is always its own episode.
std::optional<int64_t> resume_position(const HistoryItem& record);

// The continue-watching card under focus plays at once from its record.
void play_history_entry(LoopContext& ctx, const HistoryItem& record);

// Plays the selected episode of the open detail, then the neighbours the
// sessions ask for, until one ends without asking.
void play_episode_chain(LoopContext& ctx);

}  // namespace qz

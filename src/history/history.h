#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qz {

// One title of the watch history. Field order is the order written to disk.
struct HistoryItem {
    std::string movie_id;
    std::string movie_title;
    std::string poster_url;
    std::string server_name;
    uint32_t episode_number = 0;
    std::string episode_title;
    std::string play_url;
    int64_t last_pos_secs = 0;
    int64_t duration_secs = 0;
    uint64_t updated_at = 0;

    bool operator==(const HistoryItem&) const = default;
};

inline constexpr size_t HISTORY_MAX_ENTRIES = 30;

// The list stored at path, newest first. Empty when the file is missing,
// unreadable, not UTF-8, not a JSON array, or any entry is incomplete or
// carries a value of the wrong type.
std::vector<HistoryItem> load_history(const std::string& path);

// Stores one viewing at the front of the history, replacing any older entry
// of the same title. The viewing carries the session's raw position and
// duration; the stored position is normalized and updated_at becomes now_secs.
// A viewing without a title id or stream URL is not stored.
void record_progress(const std::string& path, HistoryItem viewing, uint64_t now_secs);

// Seconds since the epoch on the wall clock (0 before it).
uint64_t wall_clock_secs();

// The resume position kept for a viewing: 0 when it ended within the last
// 30 seconds of a media longer than a minute, or when it is negative.
int64_t normalized_position(int64_t position_secs, int64_t duration_secs);

// The file text: a two-space indented JSON array, no final line feed.
std::string serialize_history(const std::vector<HistoryItem>& items);

// Where an unreadable history is moved before it is replaced.
std::string history_backup_path(const std::string& path);

}  // namespace qz

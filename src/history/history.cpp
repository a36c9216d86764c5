#include "history/history.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <variant>

#include "common/file_io.h"
#include "common/log.h"
#include "common/strict_json.h"
#include "common/utf8.h"

namespace qz {

namespace {

using nlohmann::json;

enum class FileState { Missing, Valid, Unreadable };

struct LoadResult {
    FileState state = FileState::Missing;
    std::vector<HistoryItem> items;
};

// A history is a few kilobytes; anything past this is not one of ours.
constexpr size_t HISTORY_MAX_BYTES = 1024 * 1024;

bool read_item(strict_json::Reader& r, const json& v, const strict_json::Path& path, HistoryItem& item) {
    if (!r.expect_object(path, v, "struct HistoryItem")) return false;
    strict_json::Fields f(r, v, path);
    return f.required("movie_id", item.movie_id) && f.required("movie_title", item.movie_title) &&
           f.required("poster_url", item.poster_url) && f.required("server_name", item.server_name) &&
           f.required("episode_number", item.episode_number) && f.required("episode_title", item.episode_title) &&
           f.required("play_url", item.play_url) && f.required("last_pos_secs", item.last_pos_secs) &&
           f.required("duration_secs", item.duration_secs) && f.required("updated_at", item.updated_at) &&
           f.finish();
}

bool read_items(strict_json::Reader& r, const json& root, std::vector<HistoryItem>& items) {
    if (!r.expect_array({}, root)) return false;
    items.resize(root.size());
    return r.elements({}, root, [&](const json& v, const strict_json::Path& path, size_t i) {
        return read_item(r, v, path, items[i]);
    });
}

std::optional<std::vector<HistoryItem>> parse_history(std::string_view text) {
    if (!utf8::is_valid(text)) return std::nullopt;
    // Repeated keys are allowed here, the last one counting; so is a byte
    // order mark that an editor may have added.
    auto read =
        strict_json::read_document<std::vector<HistoryItem>>(text, read_items, strict_json::ByteOrderMark::Skip);
    if (auto* items = std::get_if<std::vector<HistoryItem>>(&read)) return std::move(*items);
    return std::nullopt;
}

LoadResult load_with_state(const std::string& path) {
    const FileRead file = read_file_capped(path, HISTORY_MAX_BYTES);
    if (file.status == FileReadStatus::Missing) return {FileState::Missing, {}};
    // Too large, not a regular file or failing to read: kept aside like a
    // malformed one before the next rewrite.
    if (!file.ok()) return {FileState::Unreadable, {}};
    auto items = parse_history(file.text);
    if (!items) return {FileState::Unreadable, {}};
    return {FileState::Valid, std::move(*items)};
}

// Write errors are silent; an unreadable old file is moved aside first so the
// titles it may still hold are not lost to the rewrite.
void save_history(const std::string& path, std::string_view text, bool keep_old_as_backup) {
    const std::string tmp = temp_path_for(path);
    if (!write_synced(tmp, text)) return;
    if (keep_old_as_backup) {
        const std::string backup = history_backup_path(path);
        if (::rename(path.c_str(), backup.c_str()) != 0) {
            // Never overwrite what could not be kept.
            ::unlink(tmp.c_str());
            return;
        }
        log::history("Unreadable history kept as " + backup);
    }
    replace_file(tmp, path);
}

bool is_blank(const std::string& text) { return utf8::trim(text).empty(); }

}  // namespace

std::vector<HistoryItem> load_history(const std::string& path) { return load_with_state(path).items; }

int64_t normalized_position(int64_t position_secs, int64_t duration_secs) {
    if (position_secs < 0) return 0;
    if (duration_secs > 60 && position_secs >= duration_secs - 30) return 0;
    return position_secs;
}

std::string serialize_history(const std::vector<HistoryItem>& items) {
    nlohmann::ordered_json doc = nlohmann::ordered_json::array();
    for (const HistoryItem& h : items) {
        nlohmann::ordered_json e;
        e["movie_id"] = h.movie_id;
        e["movie_title"] = h.movie_title;
        e["poster_url"] = h.poster_url;
        e["server_name"] = h.server_name;
        e["episode_number"] = h.episode_number;
        e["episode_title"] = h.episode_title;
        e["play_url"] = h.play_url;
        e["last_pos_secs"] = h.last_pos_secs;
        e["duration_secs"] = h.duration_secs;
        e["updated_at"] = h.updated_at;
        doc.push_back(std::move(e));
    }
    return doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string history_backup_path(const std::string& path) { return path + ".bad"; }

void record_progress(const std::string& path, HistoryItem viewing, uint64_t now_secs) {
    if (is_blank(viewing.movie_id) || is_blank(viewing.play_url)) return;

    LoadResult loaded = load_with_state(path);
    const int64_t raw_position = viewing.last_pos_secs;
    viewing.last_pos_secs = normalized_position(raw_position, viewing.duration_secs);
    viewing.updated_at = now_secs;
    std::vector<HistoryItem> items;
    items.reserve(loaded.items.size() + 1);
    items.push_back(viewing);
    for (HistoryItem& old : loaded.items) {
        if (old.movie_id != viewing.movie_id) items.push_back(std::move(old));
    }
    if (items.size() > HISTORY_MAX_ENTRIES) items.resize(HISTORY_MAX_ENTRIES);

    save_history(path, serialize_history(items), loaded.state == FileState::Unreadable);

    log::history("Recorded progress for '" + viewing.movie_title + "' (ep " + std::to_string(viewing.episode_number) +
                 ", pos: " + std::to_string(viewing.last_pos_secs) + "s [raw " + std::to_string(raw_position) +
                 "s] / " + std::to_string(viewing.duration_secs) + "s)");
}

uint64_t wall_clock_secs() {
    using namespace std::chrono;
    const auto since_epoch = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    return since_epoch < 0 ? 0 : static_cast<uint64_t>(since_epoch);
}

}  // namespace qz

#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "catalog/media_records.h"
#include "catalog/record_reader.h"
#include "history/history.h"
#include "update/ota_manifest.h"
#include "update/update_state.h"

namespace qz {

enum class Screen { Home, Detail, Search, Update };

// A card of a home row: a catalog title or a watch-history record.
using ShelfEntry = std::variant<MediaItem, HistoryItem>;

struct Shelf {
    std::string shelf_key;
    std::string title;
    std::vector<ShelfEntry> entries;
    bool is_history = false;
    bool loading = false;
};

inline constexpr const char* HISTORY_SHELF_KEY = "history";
inline constexpr const char* HISTORY_SHELF_TITLE = "▶ TIẾP TỤC XEM (ĐÃ XEM GẦN ĐÂY)";
inline constexpr const char* SEARCH_SHELF_KEY = "search";

// Everything the screens show. Owned and changed by the main thread only.
struct AppState {
    Screen screen = Screen::Home;
    std::vector<Shelf> shelves;
    size_t selected_shelf = 0;
    std::vector<size_t> selected_entry;  // parallel to shelves
    bool search_busy = false;
    CatalogMap catalog_cache;
    std::string history_path;
    std::optional<MediaDetail> detail;
    std::optional<HistoryItem> detail_history;
    size_t episode_index = 0;
    size_t episode_top = 0;
    std::string query;
    size_t key_row = 0;
    size_t key_col = 0;
    UpdateState update_state;
    std::optional<OtaManifest> pending_manifest;
    std::chrono::steady_clock::time_point frame_mark;
};

// The focused card, when the focused shelf has an entry at its index.
const ShelfEntry* focused_entry(const AppState& state);

// Inserts, refreshes in place or removes the continue-watching row so it
// mirrors a freshly loaded history list.
void rebuild_history_shelf(AppState& state, const std::vector<HistoryItem>& history);

// The four category rows (after the continue-watching row when the history is
// not empty), each filled from the cache and loading while empty.
void build_initial_shelves(AppState& state, const std::vector<HistoryItem>& history);

}  // namespace qz

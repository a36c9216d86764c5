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

// Nine episode rows fit the detail screen's list.
inline constexpr size_t DETAIL_VISIBLE_EPISODES = 9;

struct HomeState {
    std::vector<Shelf> shelves;
    size_t selected_shelf = 0;
    std::vector<size_t> selected_entry;  // parallel to shelves
    CatalogMap catalog_cache;
};

struct DetailState {
    std::optional<MediaDetail> media;
    std::optional<HistoryItem> history;  // the title's watch-history record
    size_t episode_index = 0;
    size_t episode_top = 0;
};

struct SearchState {
    std::string query;
    size_t key_row = 0;
    size_t key_col = 0;
    bool busy = false;
};

struct UpdatePanelState {
    UpdateState state;
    std::optional<OtaManifest> pending_manifest;
    // Shown on the panels: the manifest URL in use and the running version.
    std::string manifest_url;
    std::string app_version;
};

// Everything the screens show, grouped by screen. Owned and changed by the
// main thread only.
struct AppState {
    Screen screen = Screen::Home;
    HomeState home;
    DetailState detail;
    SearchState search;
    UpdatePanelState update;
    std::string history_path;
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

#include "main/app_state.h"

#include <algorithm>

#include "catalog/categories.h"

namespace qz {

const ShelfEntry* focused_entry(const AppState& state) {
    if (state.home.selected_shelf >= state.home.shelves.size()) return nullptr;
    const Shelf& shelf = state.home.shelves[state.home.selected_shelf];
    size_t index = state.home.selected_entry[state.home.selected_shelf];
    if (index >= shelf.entries.size()) return nullptr;
    return &shelf.entries[index];
}

void rebuild_history_shelf(AppState& state, const std::vector<HistoryItem>& history) {
    auto existing =
        std::find_if(state.home.shelves.begin(), state.home.shelves.end(), [](const Shelf& s) { return s.is_history; });
    if (history.empty()) {
        if (existing != state.home.shelves.end()) {
            auto pos = static_cast<size_t>(existing - state.home.shelves.begin());
            state.home.shelves.erase(existing);
            state.home.selected_entry.erase(state.home.selected_entry.begin() + static_cast<std::ptrdiff_t>(pos));
        }
        return;
    }
    std::vector<ShelfEntry> entries(history.begin(), history.end());
    if (existing != state.home.shelves.end()) {
        existing->shelf_key = HISTORY_SHELF_KEY;
        existing->title = HISTORY_SHELF_TITLE;
        existing->entries = std::move(entries);
        return;
    }
    state.home.shelves.insert(state.home.shelves.begin(),
                              Shelf{HISTORY_SHELF_KEY, HISTORY_SHELF_TITLE, std::move(entries), true, false});
    state.home.selected_entry.insert(state.home.selected_entry.begin(), 0);
}

void build_initial_shelves(AppState& state, const std::vector<HistoryItem>& history) {
    state.home.shelves.clear();
    state.home.selected_entry.clear();
    rebuild_history_shelf(state, history);
    for (const Category& category : CATEGORIES) {
        Shelf shelf{category.key, category.title, {}, false, false};
        if (auto it = state.home.catalog_cache.find(category.key); it != state.home.catalog_cache.end()) {
            shelf.entries.assign(it->second.begin(), it->second.end());
        }
        shelf.loading = shelf.entries.empty();
        state.home.shelves.push_back(std::move(shelf));
        state.home.selected_entry.push_back(0);
    }
}

}  // namespace qz

#include "main/main_loop.h"

#include <algorithm>
#include <thread>

#include "catalog/catalog_cache.h"
#include "common/log.h"
#include "graphics/text_renderer.h"
#include "history/history.h"
#include "main/detail_screen.h"
#include "main/home_screen.h"
#include "main/search_screen.h"
#include "main/update_screen.h"

namespace qz {

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

Shelf* find_shelf(AppState& state, const std::string& key) {
    auto it = std::find_if(state.home.shelves.begin(), state.home.shelves.end(),
                           [&](const Shelf& s) { return s.shelf_key == key; });
    return it == state.home.shelves.end() ? nullptr : &*it;
}

void on_catalog_loaded(LoopContext& ctx, CatalogLoaded& msg) {
    Shelf* shelf = find_shelf(ctx.state, msg.key);
    if (shelf == nullptr) return;
    shelf->loading = false;
    if (auto* error = std::get_if<std::string>(&msg.result)) {
        log::error("Shelf '" + msg.key + "' load failed: " + *error);
        return;
    }
    const auto& items = store_shelf(ctx.state.home.catalog_cache, msg.key,
                                    std::move(std::get<std::vector<MediaItem>>(msg.result)), ctx.catalog_cache_path());
    shelf->entries.assign(items.begin(), items.end());
}

void on_search_finished(LoopContext& ctx, SearchFinished& msg) {
    if (Shelf* shelf = find_shelf(ctx.state, SEARCH_SHELF_KEY)) {
        shelf->loading = false;
        if (auto* error = std::get_if<std::string>(&msg.result)) {
            log::error("Search failed for '" + msg.query + "': " + *error);
            shelf->title = "LỖI TÌM KIẾM: " + *error;
        } else {
            auto& items = std::get<std::vector<MediaItem>>(msg.result);
            sort_newest_first(items);
            shelf->title = (items.empty() ? "KHÔNG TÌM THẤY: \"" : "KẾT QUẢ TÌM KIẾM: \"") + msg.query + "\"";
            shelf->entries.assign(std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
        }
    }
    ctx.state.search.busy = false;
}

void on_detail_loaded(LoopContext& ctx, DetailLoaded& msg) {
    if (auto* error = std::get_if<std::string>(&msg.result)) {
        log::error("Detail load failed: " + *error);
        return;
    }
    AppState& state = ctx.state;
    auto& detail = std::get<MediaDetail>(msg.result);
    std::vector<HistoryItem> history = load_history(state.history_path);
    auto record = std::find_if(history.begin(), history.end(), [&](const HistoryItem& h) {
        return h.movie_id == detail.id || h.movie_id == detail.slug;
    });
    state.detail.episode_index = 0;
    state.detail.episode_top = 0;
    state.detail.history.reset();
    if (record != history.end()) {
        const auto& episodes = detail.episodes;
        if (episodes) {
            for (size_t i = 0; i < episodes->size(); ++i) {
                if ((*episodes)[i].number == record->episode_number) {
                    state.detail.episode_index = i;
                    state.detail.episode_top = i < DETAIL_VISIBLE_EPISODES ? 0 : i - 4;
                    break;
                }
            }
        }
        state.detail.history = *record;
    }
    state.detail.media = std::move(detail);
    state.screen = Screen::Detail;
}

void on_update_checked(AppState& state, UpdateChecked& msg) {
    std::visit(Overloaded{[&](OtaManifest& manifest) {
                              state.update.state = UpdateAvailable{manifest};
                              state.update.pending_manifest = std::move(manifest);
                          },
                          [&](NoNewerVersion&) {
                              state.update.state = UpdateUpToDate{};
                              state.update.pending_manifest.reset();
                          },
                          [&](std::string& error) {
                              log::error("Update check failed: " + error);
                              state.update.state = UpdateFailed{std::move(error)};
                              state.update.pending_manifest.reset();
                          }},
               msg.result);
}

}  // namespace

void handle_message(LoopContext& ctx, WorkerMessage message) {
    std::visit(Overloaded{[&](CatalogLoaded& m) { on_catalog_loaded(ctx, m); },
                          [&](SearchFinished& m) { on_search_finished(ctx, m); },
                          [&](DetailLoaded& m) { on_detail_loaded(ctx, m); },
                          [&](UpdateChecked& m) { on_update_checked(ctx.state, m); },
                          [&](UpdateStatus& m) {
                              if (const auto* failed = std::get_if<UpdateFailed>(&m.state)) {
                                  log::error("Update install failed: " + failed->error);
                              }
                              ctx.state.update.state = std::move(m.state);
                          }},
               message);
}

void draw_app_screen(const AppState& state, PosterLookup& posters, TextRenderer& text) {
    switch (state.screen) {
        case Screen::Home:
            draw_home(state, posters, text);
            break;
        case Screen::Search:
            draw_home(state, posters, text);
            draw_search_overlay(state, text);
            break;
        case Screen::Update:
            draw_home(state, posters, text);
            draw_update_overlay(state, text);
            break;
        case Screen::Detail:
            draw_detail(state, posters, text);
            break;
    }
}

void draw_screen(LoopContext& ctx) {
    TextRenderer text(ctx.fb);
    draw_app_screen(ctx.state, ctx.posters, text);
}

bool run_pass(LoopContext& ctx) {
    while (auto message = ctx.results.try_recv()) handle_message(ctx, std::move(*message));
    while (auto button = ctx.input.try_recv()) {
        if (handle_key(ctx, *button) == KeyResult::ExitProgram) return false;
    }
    draw_screen(ctx);
    ctx.fb.present();
    return true;
}

void run_main_loop(LoopContext& ctx) {
    using namespace std::chrono;
    constexpr auto PERIOD = milliseconds(16);
    ctx.state.frame_mark = steady_clock::now();
    while (run_pass(ctx)) {
        auto elapsed = steady_clock::now() - ctx.state.frame_mark;
        if (elapsed < PERIOD) std::this_thread::sleep_for(PERIOD - elapsed);
        ctx.state.frame_mark = steady_clock::now();
    }
}

}  // namespace qz

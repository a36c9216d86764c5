#include <algorithm>
#include <variant>

#include "common/log.h"
#include "main/main_loop.h"
#include "main/playback_flow.h"
#include "main/search_screen.h"
#include "main/update_screen.h"

namespace qz {

namespace {

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
    HomeState& home = state.home;
    const size_t count = home.shelves.size();
    switch (button) {
        case Button::Up:
            if (home.selected_shelf > 0) --home.selected_shelf;
            break;
        case Button::Down:
            if (home.selected_shelf + 1 < count) ++home.selected_shelf;
            break;
        case Button::Left:
            if (home.selected_shelf < count && home.selected_entry[home.selected_shelf] > 0) {
                --home.selected_entry[home.selected_shelf];
            }
            break;
        case Button::Right:
            if (home.selected_shelf < count) {
                size_t& index = home.selected_entry[home.selected_shelf];
                size_t entries = home.shelves[home.selected_shelf].entries.size();
                if (entries > 0 && index + 1 < entries) ++index;
            }
            break;
        case Button::L1:
            if (count > 0) home.selected_shelf = home.selected_shelf == 0 ? count - 1 : home.selected_shelf - 1;
            break;
        case Button::R1:
            if (count > 0) home.selected_shelf = home.selected_shelf + 1 >= count ? 0 : home.selected_shelf + 1;
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
            state.update.state = UpdateChecking{};
            state.update.pending_manifest.reset();
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
    DetailState& detail = state.detail;
    const size_t count = detail.media && detail.media->episodes ? detail.media->episodes->size() : 0;
    switch (button) {
        case Button::Up:
            if (detail.episode_index > 0) {
                --detail.episode_index;
                detail.episode_top = std::min(detail.episode_top, detail.episode_index);
            }
            break;
        case Button::Down:
            if (detail.media && detail.media->episodes && detail.episode_index + 1 < count) {
                ++detail.episode_index;
                if (detail.episode_index >= detail.episode_top + DETAIL_VISIBLE_EPISODES) {
                    detail.episode_top = detail.episode_index - (DETAIL_VISIBLE_EPISODES - 1);
                }
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

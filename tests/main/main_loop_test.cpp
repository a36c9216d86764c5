#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "history/history.h"
#include "main/main_loop.h"
#include "support/scripted_workers.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

namespace fs = std::filesystem;

MediaItem item(const std::string& id, std::optional<std::string> year_json = std::nullopt) {
    MediaItem m;
    m.id = id;
    m.title = "Title " + id;
    m.slug = "slug-" + id;
    if (year_json) m.year = RawJson{*year_json};
    return m;
}

class MainLoopTest : public ::testing::Test, protected test::ScriptedLoop {
protected:
    MainLoopTest() : ScriptedLoop(320, 240) {}
    void SetUp() override {
        state.history_path = dir / "history.json";
        catalog_cache_path = dir / "catalog_cache.json";
        build_initial_shelves(state, {});
    }
    void press(std::initializer_list<Button> buttons) {
        for (Button b : buttons) input_tx.send(b);
    }
    bool pass() {
        LoopContext c = ctx();
        return run_pass(c);
    }
    void set_shelf(size_t index, size_t count) {
        std::vector<MediaItem> items;
        for (size_t i = 0; i < count; ++i) items.push_back(item(std::to_string(i)));
        state.home.shelves[index].entries.assign(items.begin(), items.end());
        state.home.shelves[index].loading = false;
    }

    test::TempDir dir;
};

TEST_F(MainLoopTest, ButtonsQueuedBeforeOnePassAllApplyClamped) {
    set_shelf(0, 4);
    for (int i = 0; i < 10; ++i) press({Button::Right});
    ASSERT_TRUE(pass());
    EXPECT_EQ(state.home.selected_entry[0], 3u);
}

TEST_F(MainLoopTest, BEndsTheLoopAndLaterButtonsAreNotHandled) {
    press({Button::B, Button::Down, Button::Y});
    EXPECT_FALSE(pass());
    EXPECT_EQ(state.home.selected_shelf, 0u);
    EXPECT_EQ(state.screen, Screen::Home);
    EXPECT_EQ(input_rx.try_recv(), Button::Down);  // still queued, never handled
}

TEST_F(MainLoopTest, ShelfNavigationClampsAndWraps) {
    struct Case {
        std::vector<Button> buttons;
        size_t expected_shelf;
    };
    const Case cases[] = {
        {{Button::Up}, 0},
        {{Button::Down, Button::Down, Button::Down, Button::Down, Button::Down}, 3},
        {{Button::L1}, 3},
        {{Button::L1, Button::R1}, 0},
        {{Button::Down, Button::Down, Button::Down, Button::R1}, 0},
    };
    for (const Case& c : cases) {
        state.home.selected_shelf = 0;
        for (Button b : c.buttons) press({b});
        ASSERT_TRUE(pass());
        EXPECT_EQ(state.home.selected_shelf, c.expected_shelf);
    }
}

TEST_F(MainLoopTest, CatalogErrorKeepsEntriesClearsLoadingAndWritesNothing) {
    set_shelf(1, 3);
    state.home.shelves[1].loading = true;
    state.home.shelves[2].loading = true;
    results_tx.send(CatalogLoaded{"phim-bo", std::string("Failed to connect to streaming server")});
    results_tx.send(CatalogLoaded{"hoat-hinh", std::string("Failed to connect to streaming server")});
    testing::internal::CaptureStderr();
    ASSERT_TRUE(pass());
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("[Error] Shelf 'phim-bo' load failed: Failed to connect to streaming server\n"),
              std::string::npos);
    EXPECT_EQ(state.home.shelves[1].entries.size(), 3u);
    EXPECT_FALSE(state.home.shelves[1].loading);
    EXPECT_TRUE(state.home.shelves[2].entries.empty());
    EXPECT_FALSE(state.home.shelves[2].loading);  // the placeholder now says there is nothing
    EXPECT_FALSE(fs::exists(dir / "catalog_cache.json"));
}

TEST_F(MainLoopTest, CatalogListIsSortedCachedAndWritten) {
    std::vector<MediaItem> items = {item("a", "\"2024\""), item("b", "2023"), item("c", "\"abc\""), item("d")};
    std::swap(items[0], items[3]);  // d, b, c, a
    results_tx.send(CatalogLoaded{"phim-le", items});
    results_tx.send(CatalogLoaded{"no-such-shelf", std::vector<MediaItem>{item("x")}});
    ASSERT_TRUE(pass());
    std::vector<std::string> order;
    for (const auto& e : state.home.shelves[0].entries)
        order.push_back(std::get<MediaItem>(e).id);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "d", "c"}));
    EXPECT_EQ(state.home.catalog_cache.at("phim-le").size(), 4u);
    EXPECT_EQ(state.home.catalog_cache.count("no-such-shelf"), 0u);
    EXPECT_TRUE(fs::exists(dir / "catalog_cache.json"));
}

TEST_F(MainLoopTest, ShorterListKeepsSelectedIndex) {
    set_shelf(0, 8);
    state.home.selected_entry[0] = 6;
    results_tx.send(CatalogLoaded{"phim-le", std::vector<MediaItem>{item("1"), item("2"), item("3")}});
    ASSERT_TRUE(pass());
    EXPECT_EQ(state.home.selected_entry[0], 6u);
    press({Button::Right});
    ASSERT_TRUE(pass());
    EXPECT_EQ(state.home.selected_entry[0], 6u);
    press({Button::Left});
    ASSERT_TRUE(pass());
    EXPECT_EQ(state.home.selected_entry[0], 5u);
}

MediaDetail detail_with_episodes(size_t n) {
    MediaDetail d;
    d.id = "m1";
    d.title = "Phim Một";
    d.slug = "phim-mot";
    d.episodes.emplace();
    for (size_t i = 0; i < n; ++i) {
        EpisodeItem e;
        e.title = "Tập " + std::to_string(i + 1);
        e.url = "http://video/" + std::to_string(i + 1);
        e.number = static_cast<uint32_t>(i + 1);
        d.episodes->push_back(e);
    }
    return d;
}

TEST_F(MainLoopTest, DetailWhileKeyboardOpenSwitchesAndPreselectsFromHistory) {
    record_progress(state.history_path,
                    {"phim-mot", "Phim Một", "", "Server 1", 11, "Tập 11", "http://video/11", 300, 2400}, 1000);
    state.screen = Screen::Search;
    results_tx.send(DetailLoaded{detail_with_episodes(12)});
    ASSERT_TRUE(pass());
    EXPECT_EQ(state.screen, Screen::Detail);
    EXPECT_EQ(state.detail.episode_index, 10u);
    EXPECT_EQ(state.detail.episode_top, 6u);
    ASSERT_TRUE(state.detail.history.has_value());
    EXPECT_EQ(state.detail.history->last_pos_secs, 300);
}

TEST_F(MainLoopTest, DetailErrorIsLoggedAndScreenStays) {
    results_tx.send(DetailLoaded{std::string("Failed to fetch media metadata")});
    testing::internal::CaptureStderr();
    ASSERT_TRUE(pass());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("[Error] Detail load failed: Failed to fetch media metadata"),
              std::string::npos);
    EXPECT_EQ(state.screen, Screen::Home);
}

TEST_F(MainLoopTest, EpisodeChainFollowsNextToTheLastEpisodeAndRecordsEach) {
    state.detail.media = detail_with_episodes(3);
    state.screen = Screen::Detail;
    state.detail.episode_index = 1;
    player.input = &input_tx;
    player.outcomes = {{100, PlaybackAction::NextEpisode, 1500}, {200, PlaybackAction::NextEpisode, 1500}};
    press({Button::A});
    testing::internal::CaptureStderr();
    ASSERT_TRUE(pass());
    std::string log = testing::internal::GetCapturedStderr();
    ASSERT_EQ(player.plays.size(), 2u);
    EXPECT_EQ(player.plays[0].label, "Tập 2 [Server 1]");
    EXPECT_EQ(player.plays[1].url, "http://video/3");
    EXPECT_NE(log.find("[Playback] Starting: 'Phim Một' - 'Tập 2 [Server 1]' (resume: Nones)"), std::string::npos);
    EXPECT_EQ(state.screen, Screen::Detail);  // the B pressed during playback was discarded
    EXPECT_EQ(state.detail.episode_index, 2u);
    auto history = load_history(state.history_path);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].episode_number, 3u);
    EXPECT_EQ(history[0].last_pos_secs, 200);
    EXPECT_TRUE(state.home.shelves[0].is_history);  // the continue-watching row appeared
    ASSERT_TRUE(state.detail.history.has_value());
}

TEST_F(MainLoopTest, ResumeOffersOnlyTheRecordedEpisode) {
    state.detail.media = detail_with_episodes(3);
    state.screen = Screen::Detail;
    HistoryItem record;
    record.movie_id = "m1";
    record.episode_number = 2;
    record.last_pos_secs = 95;
    state.detail.history = record;
    player.outcomes = {{10, PlaybackAction::PrevEpisode, 50}, {0, PlaybackAction::PrevEpisode, 0}};
    state.detail.episode_index = 1;
    press({Button::A});
    ASSERT_TRUE(pass());
    ASSERT_EQ(player.plays.size(), 2u);  // Prev from the first episode ends the chain
    EXPECT_EQ(player.plays[0].resume, std::optional<int64_t>(95));
    EXPECT_EQ(player.plays[1].resume, std::nullopt);  // the record now names episode 2, not 1
    EXPECT_EQ(state.detail.episode_index, 0u);
}

TEST_F(MainLoopTest, HistoryEntryPlaysAtOnceWithoutResumeAtZero) {
    record_progress(state.history_path, {"m9", "Chín", "", "S2", 4, "Tập 4", "http://v/4", 0, 0}, 1);
    rebuild_history_shelf(state, load_history(state.history_path));
    ASSERT_TRUE(state.home.shelves[0].is_history);
    press({Button::A});
    testing::internal::CaptureStderr();
    ASSERT_TRUE(pass());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("[Playback] Auto-Resuming 'Chín' at Nones"),
              std::string::npos);
    ASSERT_EQ(player.plays.size(), 1u);
    EXPECT_EQ(player.plays[0].label, "Tập 4 [S2]");
    EXPECT_EQ(player.plays[0].resume, std::nullopt);
    EXPECT_TRUE(workers.calls.empty());  // no detail fetched
    EXPECT_EQ(state.screen, Screen::Home);
}

TEST_F(MainLoopTest, UpdateFailuresAreLoggedAndShown) {
    state.update.pending_manifest = OtaManifest{"1.0.1", "n", "c", "http://u/p.zip", "", 1.0f};
    results_tx.send(UpdateChecked{std::string("Update server unreachable. Please check your Wi-Fi connection.")});
    results_tx.send(UpdateStatus{UpdateFailed{"Update package checksum mismatch"}});
    testing::internal::CaptureStderr();
    ASSERT_TRUE(pass());
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("[Error] Update check failed: Update server unreachable."), std::string::npos) << log;
    EXPECT_NE(log.find("[Error] Update install failed: Update package checksum mismatch\n"), std::string::npos) << log;
    EXPECT_FALSE(state.update.pending_manifest.has_value());
    ASSERT_TRUE(std::holds_alternative<UpdateFailed>(state.update.state));
    EXPECT_EQ(std::get<UpdateFailed>(state.update.state).error, "Update package checksum mismatch");
}

TEST_F(MainLoopTest, HomeKeysStartWorkersAndSwitchScreens) {
    set_shelf(0, 2);
    state.home.selected_entry[0] = 1;
    press({Button::A, Button::X});
    ASSERT_TRUE(pass());
    EXPECT_EQ(workers.calls, (std::vector<std::string>{"fetch_detail slug-1", "fetch_all_shelves"}));
    EXPECT_EQ(state.screen, Screen::Home);
    press({Button::Start});
    ASSERT_TRUE(pass());
    EXPECT_EQ(state.screen, Screen::Update);
    EXPECT_TRUE(std::holds_alternative<UpdateChecking>(state.update.state));
    EXPECT_EQ(workers.calls.back(), "start_update_check");
}

TEST_F(MainLoopTest, HistoryShelfRefreshesInPlaceAndDisappearsWhenEmpty) {
    HistoryItem h;
    h.movie_id = "a";
    rebuild_history_shelf(state, {h});
    ASSERT_EQ(state.home.shelves.size(), 5u);
    state.home.selected_shelf = 2;
    state.home.selected_entry[0] = 0;
    rebuild_history_shelf(state, {h, h});
    EXPECT_EQ(state.home.shelves.size(), 5u);
    EXPECT_EQ(state.home.shelves[0].entries.size(), 2u);
    EXPECT_EQ(state.home.selected_shelf, 2u);
    rebuild_history_shelf(state, {});
    EXPECT_EQ(state.home.shelves.size(), 4u);
    EXPECT_EQ(state.home.selected_entry.size(), 4u);
    EXPECT_EQ(state.home.shelves[0].shelf_key, "phim-le");
}

}  // namespace
}  // namespace qz

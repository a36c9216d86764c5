#include "main/search_screen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "main/home_screen.h"
#include "support/pixel_probe.h"
#include "support/screen_colors.h"
#include "support/scripted_workers.h"

namespace qz {
namespace {

using test::ScriptedLoop;

using namespace test::screen_colors;

constexpr Color PANEL = 0xff160f2c;
constexpr Color HEADER = 0xff6a38b3;
constexpr Color BOX = 0xff231742;
constexpr Color BOX_OUTLINE = 0xff4a3482;
constexpr Color KEY_LABEL = 0xffcbd5e1;

using B = Button;

HistoryItem watched(const std::string& id) {
    HistoryItem h;
    h.movie_id = id;
    h.movie_title = "Phim " + id;
    h.episode_number = 1;
    h.episode_title = "Tập 1";
    h.server_name = "Server 1";
    return h;
}

MediaItem found(const std::string& id, const std::string& year) {
    MediaItem m;
    m.id = id;
    m.title = "Kết quả " + id;
    m.slug = "slug-" + id;
    m.year = RawJson{year};
    return m;
}

void press(ScriptedLoop& loop, const std::vector<Button>& buttons) {
    LoopContext c = loop.ctx();
    for (Button b : buttons) handle_search_key(c, b);
}

// ------------------------------------------------------------ editing

struct EditCase {
    const char* name;
    std::string query;  // before the buttons
    size_t row, col;    // highlighted key before the buttons
    std::vector<Button> buttons;
    std::string expected;
};

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class Editing : public testing::TestWithParam<EditCase> {};

TEST_P(Editing, ButtonsEditTheQuery) {
    const EditCase& c = GetParam();
    ScriptedLoop loop;
    build_initial_shelves(loop.state, {});
    loop.state.screen = Screen::Search;
    loop.state.search.query = c.query;
    loop.state.search.key_row = c.row;
    loop.state.search.key_col = c.col;
    press(loop, c.buttons);
    EXPECT_EQ(loop.state.search.query, c.expected);
    // Editing never searches and never leaves the keyboard.
    EXPECT_TRUE(loop.workers.calls.empty());
    EXPECT_EQ(loop.state.screen, Screen::Search);
}

const std::string FORTY(40, 'a');
const std::string THIRTY_NINE(39, 'a');
// 38 ASCII bytes and a two-byte letter: 40 bytes, 39 characters.
const std::string FULL_WITH_O = std::string(38, 'a') + "Ó";

INSTANTIATE_TEST_SUITE_P(
    Keys, Editing,
    testing::Values(
        EditCase{"digit_then_letter", "", 0, 0, {B::A, B::Down, B::A, B::Right, B::A}, "1QW"},
        EditCase{"last_row_letter", "", 3, 6, {B::A}, "M"},
        EditCase{"full_ignores_letters_digits_spaces", FORTY, 0, 3, {B::A, B::X, B::Down, B::A}, FORTY},
        EditCase{"full_still_deletes", FORTY, 0, 0, {B::Y}, THIRTY_NINE},
        EditCase{"thirty_nine_takes_one_more", THIRTY_NINE, 1, 0, {B::A, B::A}, THIRTY_NINE + "Q"},
        EditCase{"space_fills_the_last_byte", THIRTY_NINE, 0, 0, {B::X, B::X}, THIRTY_NINE + " "},
        EditCase{"full_multibyte_end_ignores_letters", FULL_WITH_O, 1, 1, {B::A}, FULL_WITH_O},
        EditCase{"delete_takes_whole_multibyte_char", FULL_WITH_O, 1, 1, {B::Y, B::A}, std::string(38, 'a') + "W"},
        EditCase{"delete_three_byte_char", "A▌", 0, 0, {B::Y}, "A"},
        EditCase{"delete_stray_byte_alone", "AB\xC3", 0, 0, {B::Y}, "AB"},
        EditCase{"delete_on_empty", "", 0, 0, {B::Y, B::Y}, ""},
        EditCase{"del_key", "PHIM", 2, 9, {B::A}, "PHI"},
        EditCase{"two_x_after_three_letters", "ABC", 0, 0, {B::X, B::X}, "ABC "},
        EditCase{"x_on_empty_gives_one_space", "", 0, 0, {B::X, B::X}, " "},
        EditCase{"space_key", "AB", 3, 7, {B::A, B::A}, "AB "},
        EditCase{"space_after_delete_of_space", "AB ", 0, 0, {B::Y, B::X}, "AB "},
        EditCase{"clear_key", "NARUTO", 3, 9, {B::A}, ""},
        EditCase{"search_on_empty", "", 3, 8, {B::A, B::Start}, ""},
        EditCase{"search_on_blanks", " ", 3, 8, {B::A, B::Start}, " "},
        EditCase{"other_buttons_do_nothing", "AB", 0, 0, {B::L1, B::R1, B::L2, B::R2, B::Select, B::Menu}, "AB"}),
    [](const auto& info) { return std::string(info.param.name); });

struct MoveCase {
    const char* name;
    size_t row, col;
    std::vector<Button> buttons;
    size_t want_row, want_col;
};

void PrintTo(const MoveCase& c, std::ostream* os) { *os << c.name; }

class Moving : public testing::TestWithParam<MoveCase> {};

TEST_P(Moving, HighlightStopsAtTheEdges) {
    const MoveCase& c = GetParam();
    ScriptedLoop loop;
    loop.state.screen = Screen::Search;
    loop.state.search.key_row = c.row;
    loop.state.search.key_col = c.col;
    press(loop, c.buttons);
    EXPECT_EQ(loop.state.search.key_row, c.want_row);
    EXPECT_EQ(loop.state.search.key_col, c.want_col);
}

INSTANTIATE_TEST_SUITE_P(Edges, Moving,
                         testing::Values(MoveCase{"right_from_col_9", 1, 9, {B::Right}, 1, 9},
                                         MoveCase{"down_from_row_3", 3, 4, {B::Down}, 3, 4},
                                         MoveCase{"up_left_from_origin", 0, 0, {B::Up, B::Left}, 0, 0},
                                         MoveCase{"across", 0, 0, {B::Down, B::Down, B::Right, B::Right}, 2, 2},
                                         MoveCase{"back", 3, 9, {B::Up, B::Left, B::Left}, 2, 7}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SearchKeys, BClosesAndKeepsQueryAndHighlight) {
    ScriptedLoop loop;
    loop.state.screen = Screen::Search;
    loop.state.search.query = "ONE P";
    loop.state.search.key_row = 2;
    loop.state.search.key_col = 5;
    press(loop, {B::B});
    EXPECT_EQ(loop.state.screen, Screen::Home);
    EXPECT_EQ(loop.state.search.query, "ONE P");
    EXPECT_EQ(loop.state.search.key_row, 2u);
    EXPECT_EQ(loop.state.search.key_col, 5u);
    EXPECT_TRUE(loop.workers.calls.empty());
}

TEST(SearchKeys, SearchOnBlanksLeavesShelvesAlone) {
    ScriptedLoop loop;
    build_initial_shelves(loop.state, {watched("a")});
    loop.state.screen = Screen::Search;
    loop.state.search.query = "   ";
    loop.state.home.selected_shelf = 3;
    press(loop, {B::Start});
    EXPECT_EQ(loop.state.home.shelves.size(), 5u);
    EXPECT_EQ(loop.state.home.selected_entry.size(), 5u);
    EXPECT_EQ(loop.state.home.selected_shelf, 3u);
    EXPECT_FALSE(loop.state.search.busy);
    EXPECT_EQ(loop.state.screen, Screen::Search);
}

// ------------------------------------------------------------ starting a search

struct PlaceCase {
    const char* name;
    bool with_history;
    size_t position;
};

void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }

class Placement : public testing::TestWithParam<PlaceCase> {};

TEST_P(Placement, SearchShelfGoesAfterContinueWatchingAndIsFocused) {
    const PlaceCase& c = GetParam();
    ScriptedLoop loop;
    std::vector<HistoryItem> history;
    if (c.with_history) history.push_back(watched("h"));
    build_initial_shelves(loop.state, history);
    const size_t before = loop.state.home.shelves.size();
    // Mark every row's own index, to see that they stay with their rows.
    for (size_t i = 0; i < before; ++i)
        loop.state.home.selected_entry[i] = 10 + i;
    loop.state.home.selected_shelf = before - 1;
    loop.state.screen = Screen::Search;
    loop.state.search.query = " phim ";
    loop.state.search.key_row = 3;
    loop.state.search.key_col = 8;
    press(loop, {B::A});

    const AppState& s = loop.state;
    ASSERT_EQ(s.home.shelves.size(), before + 1);
    ASSERT_EQ(s.home.selected_entry.size(), before + 1);
    const Shelf& shelf = s.home.shelves[c.position];
    EXPECT_EQ(shelf.shelf_key, "search");
    EXPECT_EQ(shelf.title, "ĐANG TÌM: \"phim\"...");
    EXPECT_TRUE(shelf.entries.empty());
    EXPECT_TRUE(shelf.loading);
    EXPECT_FALSE(shelf.is_history);
    EXPECT_EQ(s.home.selected_entry[c.position], 0u);
    EXPECT_EQ(s.home.selected_shelf, c.position);
    for (size_t i = 0; i < before; ++i) {
        const size_t moved = i < c.position ? i : i + 1;
        EXPECT_EQ(s.home.selected_entry[moved], 10 + i) << "row " << i;
    }
    EXPECT_EQ(loop.workers.calls, std::vector<std::string>{"start_search phim"});
    EXPECT_TRUE(s.search.busy);
    EXPECT_EQ(s.screen, Screen::Home);
    EXPECT_EQ(s.search.query, " phim ");  // the box still shows the spaces
}

INSTANTIATE_TEST_SUITE_P(Rows, Placement,
                         testing::Values(PlaceCase{"with_continue_watching", true, 1},
                                         PlaceCase{"without_continue_watching", false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SearchStart, SecondSearchReusesTheShelfWhereverItStands) {
    ScriptedLoop loop;
    build_initial_shelves(loop.state, {});
    AppState& s = loop.state;
    s.screen = Screen::Search;
    s.search.query = "naruto";
    press(loop, {B::Start});
    ASSERT_EQ(s.home.shelves[0].shelf_key, "search");
    // Results arrived and the user browsed them; then a continue-watching row
    // appeared in front after a playback.
    s.home.shelves[0].entries = {found("1", "2020"), found("2", "2021"), found("3", "2022")};
    s.home.shelves[0].loading = false;
    s.home.selected_entry[0] = 2;
    rebuild_history_shelf(s, {watched("h")});
    ASSERT_EQ(s.home.shelves[1].shelf_key, "search");
    s.home.selected_shelf = 4;
    s.screen = Screen::Search;
    s.search.query = "one piece";
    press(loop, {B::Start});

    EXPECT_EQ(s.home.shelves.size(), 6u);
    EXPECT_EQ(s.home.selected_entry.size(), 6u);
    size_t search_rows = 0;
    for (const Shelf& shelf : s.home.shelves)
        search_rows += shelf.shelf_key == "search";
    EXPECT_EQ(search_rows, 1u);
    EXPECT_EQ(s.home.shelves[1].title, "ĐANG TÌM: \"one piece\"...");
    EXPECT_TRUE(s.home.shelves[1].entries.empty());
    EXPECT_TRUE(s.home.shelves[1].loading);
    EXPECT_EQ(s.home.selected_entry[1], 0u);
    EXPECT_EQ(s.home.selected_shelf, 1u);
    EXPECT_EQ(loop.workers.calls, (std::vector<std::string>{"start_search naruto", "start_search one piece"}));
}

struct FinishCase {
    const char* name;
    ItemsResult result;
    std::string title;
    size_t entries;
};

void PrintTo(const FinishCase& c, std::ostream* os) { *os << c.name; }

class Finishing : public testing::TestWithParam<FinishCase> {};

// Through the real loop pass: the started search's row receives the result.
TEST_P(Finishing, ResultLandsInTheSearchRow) {
    const FinishCase& c = GetParam();
    ScriptedLoop loop;
    build_initial_shelves(loop.state, {watched("h")});
    loop.state.screen = Screen::Search;
    loop.state.search.query = " phim ";
    press(loop, {B::Start});
    ASSERT_TRUE(loop.state.search.busy);
    loop.results_tx.send(SearchFinished{c.result, "phim"});
    testing::internal::CaptureStderr();
    LoopContext ctx = loop.ctx();
    ASSERT_TRUE(run_pass(ctx));
    testing::internal::GetCapturedStderr();
    const Shelf& shelf = loop.state.home.shelves[1];
    EXPECT_EQ(shelf.shelf_key, "search");
    EXPECT_EQ(shelf.title, c.title);
    EXPECT_EQ(shelf.entries.size(), c.entries);
    EXPECT_FALSE(shelf.loading);
    EXPECT_FALSE(loop.state.search.busy);
    EXPECT_EQ(loop.state.home.shelves[0].shelf_key, "history");
}

INSTANTIATE_TEST_SUITE_P(
    Results, Finishing,
    testing::Values(FinishCase{"found", std::vector<MediaItem>{found("1", "2019"), found("2", "2024")},
                               "KẾT QUẢ TÌM KIẾM: \"phim\"", 2},
                    FinishCase{"nothing", std::vector<MediaItem>{}, "KHÔNG TÌM THẤY: \"phim\"", 0},
                    FinishCase{"error", std::string("Search request failed"), "LỖI TÌM KIẾM: Search request failed",
                               0}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ drawing

struct Size {
    uint32_t w, h;
};

void PrintTo(const Size& s, std::ostream* os) { *os << s.w << "x" << s.h; }

class SearchDrawing : public testing::TestWithParam<Size> {
protected:
    int32_t x0() const { return (int32_t(GetParam().w) - 720) / 2; }
    int32_t y0() const { return (int32_t(GetParam().h) - 420) / 2; }

    Framebuffer render(const AppState& state, bool overlay = true) {
        Framebuffer fb = Framebuffer::in_memory(GetParam().w, GetParam().h);
        TextRenderer text(fb);
        NoPosters posters;
        draw_home(state, posters, text);
        if (overlay) draw_search_overlay(state, text);
        return fb;
    }
    static AppState home_state() {
        AppState s;
        build_initial_shelves(s, {watched("h")});
        s.screen = Screen::Search;
        return s;
    }
    std::string size_name() const { return std::to_string(GetParam().w) + "x" + std::to_string(GetParam().h); }
};

TEST_P(SearchDrawing, PanelOverTheDimmedHomeScreen) {
    AppState s = home_state();
    const Framebuffer home = render(s, false);
    const Framebuffer fb = render(s);
    const int32_t x0 = this->x0(), y0 = this->y0();
    for (uint32_t y = 0; y < fb.height(); ++y) {
        for (uint32_t x = 0; x < fb.width(); ++x) {
            const bool in_panel = int32_t(x) >= x0 && int32_t(x) < x0 + 720 && int32_t(y) >= y0 && int32_t(y) < y0 + 420;
            if (in_panel) continue;
            const Color h = home.at(x, y);
            const Color want = 0xff000000u | ((((h >> 16) & 0xff) * 47 / 255) << 16) |
                               ((((h >> 8) & 0xff) * 47 / 255) << 8) | ((h & 0xff) * 47 / 255);
            ASSERT_EQ(fb.at(x, y), want) << "(" << x << ", " << y << ")";
        }
    }
    EXPECT_TRUE(test::region_is(fb, x0, y0 + 100, 2, 200, ACCENT));  // outline
    EXPECT_TRUE(test::region_is(fb, x0 + 718, y0 + 100, 2, 200, ACCENT));
    EXPECT_TRUE(test::region_is(fb, x0 + 2, y0 + 120, 16, 100, PANEL));
    EXPECT_TRUE(test::region_is(fb, x0 + 600, y0 + 2, 100, 10, HEADER));
    EXPECT_TRUE(test::text_at(fb, "TÌM KIẾM PHIM TRÊN NUVALTO", x0 + 24, y0 + 14, WHITE, 18.0f, HEADER));
    EXPECT_TRUE(test::region_is(fb, x0 + 24, y0 + 80, 1, 14, BOX_OUTLINE));
    EXPECT_TRUE(test::text_at(fb, "Nhập tên phim cần tìm (Anime, Phim lẻ, Phim bộ)...", x0 + 38, y0 + 78,
                              SECONDARY, 16.0f, BOX));
    const int32_t hint_w = test::text_width(SEARCH_HINT, 12.5f);
    EXPECT_TRUE(test::text_at(fb, SEARCH_HINT, x0 + (720 - hint_w) / 2, y0 + 398, SECONDARY, 12.5f, PANEL));
    // Without a search running the line under the box stays empty.
    EXPECT_TRUE(test::region_is(fb, x0 + 30, y0 + 114, 660, 20, PANEL));
}

TEST_P(SearchDrawing, HighlightedKeyAndLabels) {
    AppState s = home_state();
    s.search.key_row = 2;
    s.search.key_col = 9;  // DEL
    const Framebuffer fb = render(s);
    auto box_x = [&](int32_t k) { return x0() + 20 + 68 * k; };
    auto box_y = [&](int32_t r) { return y0() + 134 + 50 * r; };
    const int32_t lx = box_x(9), ly = box_y(2);
    EXPECT_TRUE(test::region_is(fb, lx, ly + 8, 2, 26, WHITE));
    EXPECT_TRUE(test::region_is(fb, lx + 64, ly + 8, 2, 26, WHITE));
    EXPECT_TRUE(test::region_is(fb, lx + 10, ly, 46, 2, WHITE));
    EXPECT_TRUE(test::region_is(fb, lx + 2, ly + 2, 8, 8, ACCENT));
    EXPECT_TRUE(test::text_at(fb, "DEL", lx + (66 - test::text_width("DEL", 14.0f)) / 2, ly + 12, WHITE,
                              14.0f, ACCENT));
    // Neighbours are plain keys with grey labels.
    EXPECT_TRUE(test::region_is(fb, box_x(8) + 2, ly + 2, 8, 8, BOX));
    EXPECT_TRUE(test::region_is(fb, lx + 2, box_y(1) + 2, 8, 8, BOX));
    for (const auto& [label, r, k] : {std::tuple{"CÁCH", 3, 7}, std::tuple{"XÓA", 3, 9}, std::tuple{"1", 0, 0}}) {
        EXPECT_TRUE(test::text_at(fb, label, box_x(k) + (66 - test::text_width(label, 14.0f)) / 2,
                                  box_y(r) + 12, KEY_LABEL, 14.0f, BOX));
    }
    test::maybe_write_png(fb, "search_keyboard_" + size_name());
}

TEST_P(SearchDrawing, QueryWithCursorAndBusyLine) {
    AppState s = home_state();
    s.search.query = " phim ";
    s.search.busy = true;
    const Framebuffer fb = render(s);
    EXPECT_TRUE(test::text_at(fb, " phim ▌", x0() + 38, y0() + 78, WHITE, 16.0f, BOX));
    // The key row starts at y0 + 134 and covers the bottom of the line.
    EXPECT_TRUE(test::text_at(fb, SEARCH_BUSY_TEXT, x0() + 38, y0() + 122, HIGHLIGHT, 14.0f, PANEL, y0() + 134));
    test::maybe_write_png(fb, "search_busy_" + size_name());
}

INSTANTIATE_TEST_SUITE_P(Profiles, SearchDrawing, testing::Values(Size{1280, 720}, Size{1024, 768}),
                         [](const auto& info) {
                             return std::to_string(info.param.w) + "x" + std::to_string(info.param.h);
                         });

}  // namespace
}  // namespace qz

#include "main/detail_screen.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "graphics/draw.h"
#include "graphics/widgets.h"
#include "support/pixel_probe.h"
#include "support/screen_colors.h"

namespace qz {
namespace {

using test::region_is;
using test::text_at;
using test::text_width;

using namespace test::screen_colors;

constexpr Color BG = BACKGROUND;
constexpr Color PANEL = 0xff1d1438;
constexpr Color SELECTION = 0xff6a38b3;
constexpr Color RESUME_FILL = 0xff241544;
constexpr Color POSTER_PIXEL = 0xff20c0e0;

// Hands out a solid image for the URLs it knows and remembers every request.
class FakePosters final : public PosterLookup {
public:
    std::map<std::string, std::shared_ptr<const RgbaBitmap>> images;
    std::vector<std::string> requests;

    std::shared_ptr<const RgbaBitmap> get(const std::string& url) override {
        requests.push_back(url);
        auto it = images.find(url);
        return it == images.end() ? nullptr : it->second;
    }
    void add(const std::string& url) {
        auto image = std::make_shared<RgbaBitmap>();
        image->width = 240;
        image->height = 360;
        image->pixels.resize(size_t(240) * 360 * 4);
        for (size_t i = 0; i < image->pixels.size(); i += 4) {
            image->pixels[i] = 0x20;
            image->pixels[i + 1] = 0xc0;
            image->pixels[i + 2] = 0xe0;
            image->pixels[i + 3] = 0xff;
        }
        images[url] = image;
    }
};

EpisodeItem episode(std::optional<uint32_t> number, const std::string& title) {
    return EpisodeItem{title, "https://cdn.example/" + title + ".m3u8", std::nullopt, number};
}

// n numbered episodes titled "Phần {n}".
std::vector<EpisodeItem> numbered_episodes(uint32_t n) {
    std::vector<EpisodeItem> list;
    for (uint32_t i = 1; i <= n; ++i) list.push_back(episode(i, "Phần " + std::to_string(i)));
    return list;
}

MediaDetail film(std::optional<std::vector<EpisodeItem>> episodes) {
    MediaDetail d;
    d.id = "m-1";
    d.title = "Người Nhện";
    d.slug = "nguoi-nhen";
    d.description = "Một câu chuyện.";
    d.quality = "FHD";
    d.lang = "Vietsub";
    d.time = "45 phút";
    d.episodes = std::move(episodes);
    return d;
}

HistoryItem record(uint32_t episode_number, int64_t pos, int64_t duration) {
    HistoryItem h;
    h.movie_id = "m-1";
    h.movie_title = "Người Nhện";
    h.server_name = "Server 1";
    h.episode_number = episode_number;
    h.episode_title = "Tập " + std::to_string(episode_number);
    h.last_pos_secs = pos;
    h.duration_secs = duration;
    return h;
}

AppState detail_state(MediaDetail detail) {
    AppState s;
    s.screen = Screen::Detail;
    s.detail.media = std::move(detail);
    return s;
}

Framebuffer render(uint32_t w, uint32_t h, const AppState& state, PosterLookup& posters) {
    Framebuffer fb = Framebuffer::in_memory(w, h);
    TextRenderer text(fb);
    draw_detail(state, posters, text);
    return fb;
}

Framebuffer render(uint32_t w, uint32_t h, const AppState& state) {
    FakePosters none;
    return render(w, h, state, none);
}

// ---------------------------------------------------------------- pure texts

struct SynopsisCase {
    const char* name;
    const char* in;
    const char* out;
};

class Synopsis : public testing::TestWithParam<SynopsisCase> {};

TEST_P(Synopsis, Cleans) { EXPECT_EQ(clean_synopsis(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(
    Tags, Synopsis,
    testing::Values(SynopsisCase{"paragraph_and_break", "<p>Câu một.<br>Câu hai.</p>", "Câu một.\nCâu hai."},
                    SynopsisCase{"empty", "", ""},
                    SynopsisCase{"plain", "Không thẻ nào", "Không thẻ nào"},
                    SynopsisCase{"repeated", "<p>a</p><p>b</p>c<br><br>d", "abc\n\nd"},
                    // Only those three exact tags go.
                    SynopsisCase{"other_markup_stays", "<b>x</b><br/><BR><P><p class=\"y\">",
                                 "<b>x</b><br/><BR><P><p class=\"y\">"},
                    // Paragraph tags go first, so what they leave joined is cleaned by the later steps.
                    SynopsisCase{"open_inside_break", "a<<p>br>b", "a\nb"},
                    SynopsisCase{"open_inside_close", "a</<p>p>b", "ab"},
                    // Each step is one pass: a tag formed by its own removal stays.
                    SynopsisCase{"no_second_pass", "<p<p>>", "<p>"},
                    SynopsisCase{"close_before_break", "<br</p>>", "\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct MetaCase {
    const char* name;
    std::optional<std::string> quality, lang, time;
    const char* line;
};

class MetaLine : public testing::TestWithParam<MetaCase> {};

TEST_P(MetaLine, JoinsPresentValuesInOrder) {
    MediaDetail d = film(std::nullopt);
    d.quality = GetParam().quality;
    d.lang = GetParam().lang;
    d.time = GetParam().time;
    EXPECT_EQ(detail_meta_line(d), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Values, MetaLine,
                         testing::Values(MetaCase{"all", "FHD", "Vietsub", "45 phút", "FHD • Vietsub • 45 phút"},
                                         MetaCase{"none", std::nullopt, std::nullopt, std::nullopt, ""},
                                         MetaCase{"lang_only", std::nullopt, "Thuyết minh", std::nullopt,
                                                  "Thuyết minh"},
                                         MetaCase{"quality_time", "HD", std::nullopt, "120 phút", "HD • 120 phút"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct LabelCase {
    const char* name;
    std::optional<uint32_t> number;
    const char* title;
    size_t index;
    std::optional<HistoryItem> record;
    const char* label;
};

class EpisodeLabel : public testing::TestWithParam<LabelCase> {};

TEST_P(EpisodeLabel, Reads) {
    const LabelCase& c = GetParam();
    EXPECT_EQ(episode_row_label(episode(c.number, c.title), c.index, c.record), c.label);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EpisodeLabel,
    testing::Values(
        LabelCase{"own_number", 7, "Mở màn", 0, std::nullopt, "Tập 7: Mở màn"},
        LabelCase{"number_by_position", std::nullopt, "Không số", 2, std::nullopt, "Tập 3: Không số"},
        LabelCase{"watched_suffix", 4, "Bốn", 3, record(4, 125, 3600), "Tập 4: Bốn [Đã xem 02:05]"},
        LabelCase{"suffix_by_position", std::nullopt, "Ba", 2, record(3, 61, 0), "Tập 3: Ba [Đã xem 01:01]"},
        LabelCase{"no_suffix_at_zero", 4, "Bốn", 3, record(4, 0, 3600), "Tập 4: Bốn"},
        LabelCase{"no_suffix_other_episode", 5, "Năm", 4, record(4, 125, 3600), "Tập 5: Năm"},
        // 30 characters stay whole; 31 become 28 and "...". Characters, not bytes.
        LabelCase{"thirty_chars_whole", 10, "Ngày ở làng Vũ Đại xưa", 0, std::nullopt,
                  "Tập 10: Ngày ở làng Vũ Đại xưa"},
        LabelCase{"thirty_one_chars_cut", 10, "Ngày ở làng Vũ Đại xưa!", 0, std::nullopt,
                  "Tập 10: Ngày ở làng Vũ Đại x..."},
        LabelCase{"suffix_counts_toward_length", 12, "Hồi kết lớn", 11, record(12, 3725, 4000),
                  "Tập 12: Hồi kết lớn [Đã xem ..."}),
    [](const auto& info) { return std::string(info.param.name); });

struct ResumeCase {
    const char* name;
    HistoryItem record;
    const char* text;
};

class ResumeText : public testing::TestWithParam<ResumeCase> {};

TEST_P(ResumeText, Reads) { EXPECT_EQ(resume_box_text(GetParam().record), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Records, ResumeText,
    testing::Values(ResumeCase{"with_total", record(4, 125, 3600), "▶ ĐÃ XEM TẬP 4: 02:05/60p (Bấm Play để phát tiếp)"},
                    ResumeCase{"total_from_one_minute", record(2, 30, 60), "▶ ĐÃ XEM TẬP 2: 00:30/1p (Bấm Play để phát tiếp)"},
                    ResumeCase{"short_duration", record(2, 30, 59), "▶ ĐÃ XEM TẬP 2: 00:30 (Bấm Play để phát tiếp)"},
                    ResumeCase{"at_zero", record(4, 0, 0), "▶ ĐÃ XEM TẬP 4: 00:00 (Bấm Play để phát tiếp)"},
                    ResumeCase{"past_99_minutes", record(1, 7265, 7300), "▶ ĐÃ XEM TẬP 1: 121:05/121p (Bấm Play để phát tiếp)"},
                    // A hand-edited negative position must not print a minus sign in the seconds.
                    ResumeCase{"negative", record(1, -5, 0), "▶ ĐÃ XEM TẬP 1: 00:00 (Bấm Play để phát tiếp)"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ButtonCase {
    const char* name;
    std::optional<HistoryItem> record;
    const char* text;
};

class FilmButton : public testing::TestWithParam<ButtonCase> {};

TEST_P(FilmButton, Reads) { EXPECT_EQ(film_button_text(GetParam().record), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Records, FilmButton,
                         testing::Values(ButtonCase{"no_record", std::nullopt, "▶  PHÁT PHIM NGAY (FHD)"},
                                         ButtonCase{"at_zero", record(1, 0, 5400), "▶  PHÁT PHIM NGAY (FHD)"},
                                         ButtonCase{"negative", record(1, -3, 5400), "▶  PHÁT PHIM NGAY (FHD)"},
                                         ButtonCase{"one_second", record(1, 1, 5400), "▶  TIẾP TỤC (00:01)"},
                                         // The episode number plays no part for a film.
                                         ButtonCase{"other_episode", record(9, 125, 5400), "▶  TIẾP TỤC (02:05)"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- drawing

struct ScreenSize {
    uint32_t w, h;
};

class DetailLayout : public testing::TestWithParam<ScreenSize> {};

TEST_P(DetailLayout, FrameHeaderPanelAndFooter) {
    const auto [w, h] = GetParam();
    const auto W = int32_t(w), H = int32_t(h);
    AppState state = detail_state(film(numbered_episodes(3)));
    const Framebuffer fb = render(w, h, state);

    EXPECT_TRUE(region_is(fb, 0, 0, W, 16, BAR));
    EXPECT_TRUE(region_is(fb, W - 5, 0, 5, 49, BAR));
    EXPECT_TRUE(region_is(fb, 0, 49, W, 1, ACCENT));
    EXPECT_TRUE(region_is(fb, 0, 50, 20, 14, BG));
    EXPECT_TRUE(text_at(fb, "◀ THÔNG TIN PHIM & TẬP PHÁT", 24, 16, WHITE, 18.0f, BAR));

    // Poster frame, 2 pixels round the 200 x 280 poster area; its own corner is cut.
    EXPECT_EQ(fb.at(22, 64), BG);
    EXPECT_EQ(fb.at(23, 69), BG) << "the frame's corners are rounded by 10";
    EXPECT_EQ(fb.at(23, 70), SELECTION);
    EXPECT_EQ(fb.at(100, 64), SELECTION);
    EXPECT_EQ(fb.at(23, 200), SELECTION);
    EXPECT_EQ(fb.at(225, 200), SELECTION);
    EXPECT_EQ(fb.at(100, 347), SELECTION);
    EXPECT_EQ(fb.at(226, 200), BG);
    EXPECT_EQ(fb.at(100, 348), BG);

    EXPECT_TRUE(text_at(fb, "Người Nhện", 248, 70, WHITE, 20.0f, BG));
    EXPECT_TRUE(text_at(fb, "FHD • Vietsub • 45 phút", 248, 100, ACCENT, 14.0f, BG));
    EXPECT_TRUE(text_at(fb, "Tóm tắt nội dung:", 248, 134, WHITE, 14.0f, BG));
    EXPECT_TRUE(text_at(fb, "Một câu chuyện.", 248, 158, SECONDARY, 13.0f, BG));
    // No history record: no resume box.
    EXPECT_TRUE(region_is(fb, 248, 326, 440, 42, BG));

    // Right panel from (712, 66), W - 736 wide, reaching the footer.
    EXPECT_EQ(fb.at(712, 66), BG);
    EXPECT_EQ(fb.at(720, 66), PANEL);
    EXPECT_EQ(fb.at(712, 80), PANEL);
    EXPECT_EQ(fb.at(w - 25, 400), PANEL);
    EXPECT_EQ(fb.at(w - 24, 400), BG);
    EXPECT_EQ(fb.at(711, 400), BG);
    EXPECT_EQ(fb.at(800, 65), BG);
    EXPECT_EQ(fb.at(800, h - 45), PANEL);

    EXPECT_TRUE(region_is(fb, 0, H - 44, W, 10, BAR));
    EXPECT_TRUE(region_is(fb, 0, H - 1, W, 1, BAR));
    EXPECT_EQ(fb.at(100, h - 45), BG);
    EXPECT_TRUE(text_at(fb, "[A] Bắt đầu phát video   [D-Pad Lên/Xuống] Chọn tập   [B] Quay lại danh mục", 24, H - 30,
                        WHITE, 14.0f, BAR));
}

// The record on the episode numbered 11 of 12 opens at index 10 with row 6 on top:
// six rows (indices 6 to 11), the fifth highlighted, three empty rows below.
TEST_P(DetailLayout, TwelveEpisodesResumedOnEleven) {
    const auto [w, h] = GetParam();
    const auto W = int32_t(w);
    AppState state = detail_state(film(numbered_episodes(12)));
    state.detail.history = record(11, 125, 2700);
    state.detail.episode_index = 10;
    state.detail.episode_top = 6;
    const Framebuffer fb = render(w, h, state);

    EXPECT_TRUE(text_at(fb, "DANH SÁCH TẬP (12)", 728, 80, WHITE, 15.0f, PANEL));
    for (int32_t r = 0; r < 9; ++r) {
        SCOPED_TRACE("row " + std::to_string(r));
        const int32_t top = 108 + 32 * r;
        if (r >= 6) {
            EXPECT_TRUE(region_is(fb, 720, top, W - 752, 28, PANEL));
            continue;
        }
        const int n = 7 + r;
        if (r == 4) {
            EXPECT_EQ(fb.at(w - 40, uint32_t(top)), SELECTION);
            EXPECT_EQ(fb.at(w - 40, uint32_t(top + 27)), SELECTION);
            EXPECT_EQ(fb.at(w - 40, uint32_t(top - 1)), PANEL);
            EXPECT_EQ(fb.at(w - 40, uint32_t(top + 28)), PANEL);
            EXPECT_EQ(fb.at(w - 33, uint32_t(top + 14)), SELECTION) << "the highlight reaches W - 33";
            EXPECT_EQ(fb.at(w - 32, uint32_t(top + 14)), PANEL);
            EXPECT_EQ(fb.at(720, uint32_t(top)), PANEL) << "the highlight's corner is rounded";
            EXPECT_TRUE(text_at(fb, "Tập 11: Phần 11 [Đã xem 02:05]", 728, top + 6, WHITE, 13.0f, SELECTION));
        } else {
            EXPECT_EQ(fb.at(w - 40, uint32_t(top + 14)), PANEL);
            const std::string label = "Tập " + std::to_string(n) + ": Phần " + std::to_string(n);
            EXPECT_TRUE(text_at(fb, label, 728, top + 6, SECONDARY, 13.0f, PANEL));
        }
    }
    EXPECT_TRUE(text_at(fb, "▶ ĐÃ XEM TẬP 11: 02:05/45p (Bấm Play để phát tiếp)", 260, 340, HIGHLIGHT, 12.5f,
                        RESUME_FILL));
}

INSTANTIATE_TEST_SUITE_P(Profiles, DetailLayout, testing::Values(ScreenSize{1280, 720}, ScreenSize{1024, 768}),
                         [](const auto& info) {
                             return std::to_string(info.param.w) + "x" + std::to_string(info.param.h);
                         });

struct PosterCase {
    const char* name;
    std::optional<std::string> thumbnail, backdrop;
    std::vector<std::string> available;
    bool drawn;
    std::vector<std::string> requests;
};

class DetailPoster : public testing::TestWithParam<PosterCase> {};

TEST_P(DetailPoster, ThumbnailOrPlaceholder) {
    const PosterCase& c = GetParam();
    MediaDetail d = film(numbered_episodes(2));
    d.thumbnail = c.thumbnail;
    d.backdrop = c.backdrop;
    FakePosters posters;
    for (const auto& url : c.available) posters.add(url);
    const Framebuffer fb = render(1280, 720, detail_state(d), posters);

    EXPECT_EQ(posters.requests, c.requests);
    EXPECT_EQ(fb.at(22, 64), BG);
    EXPECT_EQ(fb.at(23, 100), SELECTION);
    if (c.drawn) {
        EXPECT_TRUE(region_is(fb, 40, 80, 160, 100, POSTER_PIXEL));
        EXPECT_EQ(fb.at(124, 206), POSTER_PIXEL);
        EXPECT_EQ(fb.at(223, 340), SELECTION) << "the poster's corner is rounded";
        EXPECT_EQ(fb.at(220, 340), POSTER_PIXEL);
    } else {
        EXPECT_TRUE(region_is(fb, 40, 80, 160, 100, PANEL));
        EXPECT_EQ(fb.at(25, 67), SELECTION) << "the placeholder's corner is rounded";
        EXPECT_TRUE(text_at(fb, "NO POSTER", 69, 196, SECONDARY, 16.0f, PANEL));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Urls, DetailPoster,
    testing::Values(PosterCase{"thumbnail_ready", "T", "B", {"T", "B"}, true, {"T"}},
                    PosterCase{"thumbnail_missing_backdrop_unused", "T", "B", {"B"}, false, {"T"}},
                    PosterCase{"no_thumbnail", std::nullopt, "B", {"B"}, false, {}},
                    PosterCase{"empty_thumbnail", "", "B", {"", "B"}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DetailSynopsis, TagsRemovedAndBreakOnlySeparatesWords) {
    MediaDetail d = film(numbered_episodes(2));
    d.description = "<p>Câu một.<br>Câu hai.</p>";
    const Framebuffer fb = render(1280, 720, detail_state(d));
    // One line, exactly as if the words had been separated by a space.
    const std::string line = "Câu một. Câu hai.";
    EXPECT_TRUE(text_at(fb, line, 248, 158, SECONDARY, 13.0f, BG));
    const int32_t end = 248 + text_width(line, 13.0f);
    EXPECT_TRUE(region_is(fb, end + 1, 155, 688 - end, 25, BG)) << "nothing after the second sentence";
    EXPECT_TRUE(region_is(fb, 248, 180, 440, 140, BG)) << "no second line";
}

// Tags removed, the paragraph wrapped 440 wide at size 13 and cut after seven lines.
TEST(DetailSynopsis, WrapsAtMostSevenLines) {
    MediaDetail d = film(numbered_episodes(2));
    std::string tagged, plain;
    for (int i = 0; i < 12; ++i) {
        tagged += "<p>Một gia đình nhỏ ở vùng quê nghèo</p> đối mặt<br>với những thử thách lớn. ";
        plain += "Một gia đình nhỏ ở vùng quê nghèo đối mặt với những thử thách lớn. ";
    }
    d.description = tagged;
    const Framebuffer fb = render(1280, 720, detail_state(d));

    auto row_has_ink = [&](int32_t top) { return !region_is(fb, 248, top, 440, 22, BG); };
    for (int32_t line = 0; line < 7; ++line) EXPECT_TRUE(row_has_ink(158 + 22 * line)) << line;
    EXPECT_FALSE(row_has_ink(158 + 22 * 7)) << "an eighth line was drawn";

    Framebuffer ref = Framebuffer::in_memory(1280, 720);
    ref.clear(BG);
    TextRenderer(ref).draw_wrapped(plain, 248, 158, 440, 7, 13.0f);
    for (int32_t y = 155; y < 320; ++y) {
        for (int32_t x = 248; x < 712; ++x) {
            ASSERT_EQ(fb.at(uint32_t(x), uint32_t(y)), ref.at(uint32_t(x), uint32_t(y))) << x << ", " << y;
        }
    }
}

TEST(DetailSynopsis, AbsentAndEmptyDescriptionsDiffer) {
    MediaDetail absent = film(numbered_episodes(2));
    absent.description.reset();
    EXPECT_TRUE(text_at(render(1280, 720, detail_state(absent)), "Không có mô tả chi tiết.", 248, 158, SECONDARY,
                        13.0f, BG));

    MediaDetail empty = film(numbered_episodes(2));
    empty.description = "";
    EXPECT_TRUE(region_is(render(1280, 720, detail_state(empty)), 248, 155, 440, 165, BG));
}

struct PanelCase {
    const char* name;
    std::optional<std::vector<EpisodeItem>> episodes;
    bool list;
};

class DetailPanel : public testing::TestWithParam<PanelCase> {};

TEST_P(DetailPanel, ListFromTwoEpisodesElseFilmPanel) {
    const PanelCase& c = GetParam();
    const Framebuffer fb = render(1280, 720, detail_state(film(c.episodes)));
    if (c.list) {
        const std::string heading = "DANH SÁCH TẬP (" + std::to_string(c.episodes->size()) + ")";
        EXPECT_TRUE(text_at(fb, heading, 728, 80, WHITE, 15.0f, PANEL));
        EXPECT_EQ(fb.at(1200, 122), SELECTION) << "first row highlighted";
        EXPECT_EQ(fb.at(1200, 160), PANEL) << "no play button";
        EXPECT_TRUE(text_at(fb, "Tập 1: Phần 1", 728, 114, WHITE, 13.0f, SELECTION));
        EXPECT_TRUE(text_at(fb, "Tập 2: Phần 2", 728, 146, SECONDARY, 13.0f, PANEL));
        return;
    }
    EXPECT_TRUE(text_at(fb, "BẮT ĐẦU XEM PHIM", 728, 84, WHITE, 16.0f, PANEL));
    // The button: W - 768 wide from x 728, 60 high from y 126, corners rounded by 12.
    EXPECT_EQ(fb.at(731, 129), PANEL);
    EXPECT_EQ(fb.at(732, 130), SELECTION);
    EXPECT_EQ(fb.at(740, 130), SELECTION);
    EXPECT_EQ(fb.at(1239, 160), SELECTION);
    EXPECT_EQ(fb.at(1240, 160), PANEL);
    EXPECT_EQ(fb.at(900, 185), SELECTION);
    EXPECT_EQ(fb.at(900, 186), PANEL);
    EXPECT_TRUE(text_at(fb, "▶  PHÁT PHIM NGAY (FHD)", 740, 148, WHITE, 16.0f, SELECTION));
    EXPECT_TRUE(text_at(fb, "Bấm [A] để tải & phát video trực tiếp", 728, 211, HIGHLIGHT, 13.0f, PANEL));
    EXPECT_TRUE(text_at(fb, "Hỗ trợ âm thanh nổi & tỉ lệ 16:9 full màn hình", 728, 241, SECONDARY, 12.0f, PANEL));
    EXPECT_TRUE(region_is(fb, 720, 270, 500, 300, PANEL)) << "no episode rows";
}

INSTANTIATE_TEST_SUITE_P(Episodes, DetailPanel,
                         testing::Values(PanelCase{"none", std::nullopt, false},
                                         PanelCase{"empty", std::vector<EpisodeItem>{}, false},
                                         PanelCase{"one", numbered_episodes(1), false},
                                         PanelCase{"two", numbered_episodes(2), true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DetailResume, FilmButtonResumesFromRecord) {
    AppState state = detail_state(film(numbered_episodes(1)));
    state.detail.history = record(1, 3725, 5400);
    const Framebuffer fb = render(1024, 768, state);
    EXPECT_TRUE(text_at(fb, "▶  TIẾP TỤC (62:05)", 740, 148, WHITE, 16.0f, SELECTION));
    EXPECT_TRUE(text_at(fb, "▶ ĐÃ XEM TẬP 1: 62:05/90p (Bấm Play để phát tiếp)", 260, 340, HIGHLIGHT, 12.5f,
                        RESUME_FILL));
}

// A record at 0 seconds still shows the box, but its row gets no watched suffix.
TEST(DetailResume, RecordAtZeroShowsBoxButNoSuffix) {
    AppState state = detail_state(film(numbered_episodes(6)));
    state.detail.history = record(4, 0, 0);
    state.detail.episode_index = 3;
    const Framebuffer fb = render(1280, 720, state);

    // The box: filled, with a square 1-pixel accent outline over its rounded fill.
    EXPECT_EQ(fb.at(248, 326), ACCENT);
    EXPECT_EQ(fb.at(249, 327), BG);
    EXPECT_EQ(fb.at(250, 328), BG) << "the fill's corners are rounded by 8";
    EXPECT_EQ(fb.at(251, 329), RESUME_FILL);
    EXPECT_EQ(fb.at(400, 326), ACCENT);
    EXPECT_EQ(fb.at(400, 367), ACCENT);
    EXPECT_EQ(fb.at(248, 347), ACCENT);
    EXPECT_EQ(fb.at(687, 347), ACCENT);
    EXPECT_EQ(fb.at(400, 327), RESUME_FILL);
    EXPECT_EQ(fb.at(688, 347), BG);
    EXPECT_TRUE(text_at(fb, "▶ ĐÃ XEM TẬP 4: 00:00 (Bấm Play để phát tiếp)", 260, 340, HIGHLIGHT, 12.5f, RESUME_FILL));

    const std::string label = "Tập 4: Phần 4";
    const int32_t row_top = 108 + 32 * 3;
    EXPECT_TRUE(text_at(fb, label, 728, row_top + 6, WHITE, 13.0f, SELECTION));
    const int32_t end = 728 + text_width(label, 13.0f);
    EXPECT_TRUE(region_is(fb, end + 1, row_top + 2, 1230 - end, 24, SELECTION)) << "no watched suffix";
}

struct GuardCase {
    const char* name;
    uint32_t w, h;
    uint32_t probe_x, probe_y;
    bool panel;
};

class DetailSmallScreen : public testing::TestWithParam<GuardCase> {};

// The right panel is drawn down to a size of one pixel and left out below.
TEST_P(DetailSmallScreen, PanelOnlyWhenItFits) {
    const GuardCase& c = GetParam();
    const Framebuffer fb = render(c.w, c.h, detail_state(film(numbered_episodes(1))));
    EXPECT_EQ(fb.at(c.probe_x, c.probe_y), c.panel ? PANEL : BG);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DetailSmallScreen,
                         testing::Values(GuardCase{"one_column", 737, 720, 712, 300, true},
                                         GuardCase{"too_narrow", 736, 720, 712, 300, false},
                                         GuardCase{"one_row", 1280, 111, 1000, 66, true},
                                         GuardCase{"narrower_than_panel_start", 700, 720, 699, 300, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DetailWithoutTitle, DrawsOnlyTheFrameOfTheScreen) {
    AppState state;
    state.screen = Screen::Detail;
    const Framebuffer fb = render(1280, 720, state);
    EXPECT_TRUE(region_is(fb, 0, 50, 1280, 720 - 44 - 50, BG));
    EXPECT_TRUE(region_is(fb, 0, 0, 1280, 10, BAR));
    EXPECT_TRUE(region_is(fb, 0, 720 - 10, 1280, 10, BAR));
}

}  // namespace
}  // namespace qz

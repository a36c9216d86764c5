#include <gtest/gtest.h>

#include "catalog/media_records.h"

namespace qz {
namespace {

struct YearCase {
    std::optional<std::string> json;  // the year's JSON text, nullopt = absent
    uint32_t key;
};

void PrintTo(const YearCase& c, std::ostream* os) { *os << (c.json ? *c.json : "(absent)"); }

class YearKey : public ::testing::TestWithParam<YearCase> {};

TEST_P(YearKey, Value) {
    const auto& c = GetParam();
    std::optional<RawJson> year;
    if (c.json) year = RawJson{*c.json};
    EXPECT_EQ(year_key(year), c.key) << (c.json ? *c.json : "(absent)");
}

INSTANTIATE_TEST_SUITE_P(
    Years, YearKey,
    ::testing::Values(YearCase{std::nullopt, 0}, YearCase{"2023", 2023}, YearCase{"0", 0},
                      YearCase{"\"2023 \"", 2023}, YearCase{"\" \\t2024\\n\"", 2024}, YearCase{"\"+2024\"", 2024},
                      YearCase{"\"02024\"", 2024}, YearCase{"\"\u00a02022\u3000\"", 2022},
                      YearCase{"\"Năm 2023\"", 0}, YearCase{"\"2023 phim\"", 0}, YearCase{"\"20 23\"", 0},
                      YearCase{"\"\"", 0}, YearCase{"\"   \"", 0}, YearCase{"\"+\"", 0}, YearCase{"\"-2023\"", 0},
                      YearCase{"\"++2023\"", 0}, YearCase{"\"0x7E7\"", 0}, YearCase{"\"２０２３\"", 0},
                      YearCase{"\"4294967295\"", 4294967295u}, YearCase{"\"4294967296\"", 0},
                      YearCase{"\"99999999999999999999999\"", 0}, YearCase{"2023.0", 0}, YearCase{"2023.5", 0},
                      YearCase{"1e3", 0}, YearCase{"-5", 0}, YearCase{"-0", 0}, YearCase{"4294967295", 4294967295u},
                      YearCase{"4294967296", 0}, YearCase{"4294967297", 1},
                      YearCase{"18446744073709551615", 4294967295u}, YearCase{"null", 0}, YearCase{"true", 0},
                      YearCase{"[2023]", 0}, YearCase{"{\"year\":2023}", 0}));

MediaItem with_year(const std::string& id, std::optional<std::string> year) {
    MediaItem m;
    m.id = id;
    if (year) m.year = RawJson{*year};
    return m;
}

std::vector<std::string> ids(const std::vector<MediaItem>& items) {
    std::vector<std::string> out;
    for (const auto& m : items) out.push_back(m.id);
    return out;
}

TEST(SortNewestFirst, EqualYearsKeepTheServiceOrder) {
    // 2020, 2024, none, 2024 -> the first 2024, the second 2024, 2020, none.
    std::vector<MediaItem> items = {with_year("a", "2020"), with_year("b", "2024"), with_year("c", std::nullopt),
                                    with_year("d", "2024")};
    sort_newest_first(items);
    EXPECT_EQ(ids(items), (std::vector<std::string>{"b", "d", "a", "c"}));
}

TEST(SortNewestFirst, StringsNumbersAndUnreadableYears) {
    std::vector<MediaItem> items = {with_year("abc", "\"abc\""), with_year("s2024", "\"2024\""),
                                    with_year("none", std::nullopt), with_year("n2023", "2023"),
                                    with_year("f2025", "2025.0")};
    sort_newest_first(items);
    EXPECT_EQ(ids(items), (std::vector<std::string>{"s2024", "n2023", "abc", "none", "f2025"}));
}

TEST(SortNewestFirst, LongRunsOfEqualKeysStayInOrder) {
    // Many equal keys is where an unstable sort shows itself.
    std::vector<MediaItem> items;
    for (int i = 0; i < 200; ++i) items.push_back(with_year(std::to_string(i), i % 3 ? "\"2000\"" : "1999"));
    sort_newest_first(items);
    std::vector<std::string> expected;
    for (int i = 0; i < 200; ++i)
        if (i % 3) expected.push_back(std::to_string(i));
    for (int i = 0; i < 200; ++i)
        if (i % 3 == 0) expected.push_back(std::to_string(i));
    EXPECT_EQ(ids(items), expected);
}

TEST(YearBadge, QuotesRemoved) {
    EXPECT_EQ(year_badge_text(RawJson{"\"2024\""}), "2024");
    EXPECT_EQ(year_badge_text(RawJson{"2023"}), "2023");
    EXPECT_EQ(year_badge_text(RawJson{"\"a\\\"b\""}), "a\\b");
}

}  // namespace
}  // namespace qz

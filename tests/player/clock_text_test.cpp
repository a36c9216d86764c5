// The clock and distance strings of the player, as tables of seconds.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "player/clock_text.h"

namespace qz {
namespace {

constexpr int64_t MAX = std::numeric_limits<int64_t>::max();
constexpr int64_t MIN = std::numeric_limits<int64_t>::min();

struct Case {
    int64_t secs;
    const char* want;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.secs; }

class ClockString : public ::testing::TestWithParam<Case> {};

TEST_P(ClockString, Formats) { EXPECT_EQ(clock_string(GetParam().secs), GetParam().want); }

INSTANTIATE_TEST_SUITE_P(
    Table, ClockString,
    ::testing::Values(Case{0, "00:00"}, Case{7, "00:07"}, Case{59, "00:59"}, Case{60, "01:00"}, Case{754, "12:34"},
                      Case{3599, "59:59"},
                      // From one hour on the hours appear and the minutes wrap.
                      Case{3600, "01:00:00"}, Case{3661, "01:01:01"}, Case{35999, "09:59:59"},
                      Case{360000, "100:00:00"},
                      // Negative times read as the start, however far below it.
                      Case{-1, "00:00"}, Case{-3600, "00:00"}, Case{MIN, "00:00"},
                      // The largest time still prints every digit.
                      Case{MAX, "2562047788015215:30:07"}));

class DeltaString : public ::testing::TestWithParam<Case> {};

TEST_P(DeltaString, Formats) { EXPECT_EQ(delta_string(GetParam().secs), GetParam().want); }

INSTANTIATE_TEST_SUITE_P(Table, DeltaString,
                         ::testing::Values(Case{0, "0s"}, Case{10, "10s"}, Case{45, "45s"}, Case{59, "59s"},
                                           Case{60, "1m00s"}, Case{90, "1m30s"}, Case{605, "10m05s"},
                                           Case{3600, "60m00s"}, Case{-10, "0s"}, Case{MIN, "0s"},
                                           Case{MAX, "153722867280912930m07s"}));

}  // namespace
}  // namespace qz

// The seek gesture driven with made-up instants: the step ladder, the gap
// between steps, direction changes, the debounce, the forward limit, the
// preview text and what a commit yields.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "player/seek_gesture.h"

namespace qz {
namespace {

using std::chrono::milliseconds;
using TimePoint = SeekGesture::TimePoint;

constexpr bool FORWARD = true;
constexpr bool BACKWARD = false;
constexpr int64_t MAX = std::numeric_limits<int64_t>::max();
constexpr int64_t MIN = std::numeric_limits<int64_t>::min();

// An arbitrary instant far from the clock's epoch.
const TimePoint T0 = TimePoint{} + std::chrono::hours(1000);
TimePoint at(int64_t ms) { return T0 + milliseconds(ms); }

// One step after the first press from 100 s: how far it moves by the time held.
struct LadderCase {
    int64_t held_ms;
    int64_t step_secs;
    int multiplier;
    const char* preview;
};
void PrintTo(const LadderCase& c, std::ostream* os) { *os << c.held_ms << "ms"; }

class SeekLadder : public ::testing::TestWithParam<LadderCase> {};

TEST_P(SeekLadder, StepGrowsWithTheTimeHeld) {
    const LadderCase& c = GetParam();
    SeekGesture g;
    EXPECT_EQ(seek_step(g, FORWARD, at(0), 100, std::nullopt), "▶▶ +10s (01:50) • 1x");
    const std::string preview = seek_step(g, FORWARD, at(c.held_ms), 100, std::nullopt);
    EXPECT_EQ(g.target_secs, 110 + c.step_secs);
    EXPECT_EQ(g.multiplier, c.multiplier);
    EXPECT_EQ(preview, c.preview);
    EXPECT_EQ(g.origin_secs, 100) << "a step never moves the origin";
}

INSTANTIATE_TEST_SUITE_P(Table, SeekLadder,
                         ::testing::Values(LadderCase{100, 10, 1, "▶▶ +20s (02:00) • 1x"},
                                           LadderCase{999, 10, 1, "▶▶ +20s (02:00) • 1x"},
                                           LadderCase{1000, 20, 2, "▶▶ +30s (02:10) • 2x"},
                                           LadderCase{2499, 20, 2, "▶▶ +30s (02:10) • 2x"},
                                           LadderCase{2500, 45, 4, "▶▶ +55s (02:35) • 4x"},
                                           LadderCase{4499, 45, 4, "▶▶ +55s (02:35) • 4x"},
                                           LadderCase{4500, 90, 8, "▶▶ +1m40s (03:20) • 8x"},
                                           LadderCase{60000, 90, 8, "▶▶ +1m40s (03:20) • 8x"}));

TEST(SeekGesture, HoldingFiveSecondsClimbsEveryRungToEightTimes) {
    SeekGesture g;
    std::string preview = seek_step(g, FORWARD, at(0), 100, std::nullopt);
    std::vector<int64_t> steps_seen;  // each distinct step size, in order
    for (int64_t ms = 100; ms <= 5000; ms += 100) {
        const int64_t before = g.target_secs;
        preview = seek_step(g, FORWARD, at(ms), 100, std::nullopt);
        const int64_t step = g.target_secs - before;
        if (steps_seen.empty() || steps_seen.back() != step) steps_seen.push_back(step);
    }
    EXPECT_EQ(steps_seen, (std::vector<int64_t>{10, 20, 45, 90}));
    EXPECT_EQ(g.multiplier, 8);
    EXPECT_TRUE(preview.ends_with(" • 8x")) << preview;
}

TEST(SeekGesture, StepsAreAtLeastAHundredMillisecondsApart) {
    SeekGesture g;
    seek_step(g, FORWARD, at(0), 100, std::nullopt);
    // Too soon after the first step: the target stays, the preview is rebuilt.
    EXPECT_EQ(seek_step(g, FORWARD, at(50), 100, std::nullopt), "▶▶ +10s (01:50) • 1x");
    EXPECT_EQ(seek_step(g, FORWARD, at(99), 100, std::nullopt), "▶▶ +10s (01:50) • 1x");
    EXPECT_EQ(g.target_secs, 110);
    // The gap counts from the last step, not from the last event.
    seek_step(g, FORWARD, at(100), 100, std::nullopt);
    EXPECT_EQ(g.target_secs, 120);
    seek_step(g, FORWARD, at(160), 100, std::nullopt);
    EXPECT_EQ(g.target_secs, 120);
    seek_step(g, FORWARD, at(200), 100, std::nullopt);
    EXPECT_EQ(g.target_secs, 130);
}

TEST(SeekGesture, FastKeyRepeatStillStepsAtMostEveryHundredMilliseconds) {
    SeekGesture g;
    std::vector<int64_t> moves;  // instants at which the target moved
    int64_t last_target = 0;
    for (int64_t ms = 0; ms < 1000; ms += 33) {
        seek_step(g, FORWARD, at(ms), 500, std::nullopt);
        if (g.target_secs != last_target) moves.push_back(ms);
        last_target = g.target_secs;
    }
    ASSERT_GE(moves.size(), 2u);
    for (size_t i = 1; i < moves.size(); ++i) EXPECT_GE(moves[i] - moves[i - 1], 100) << "move " << i;
}

TEST(SeekGesture, ChangingDirectionStartsAgainFromThePlaybackPosition) {
    SeekGesture g;
    for (int64_t ms = 0; ms <= 4600; ms += 200) seek_step(g, FORWARD, at(ms), 100, std::nullopt);
    ASSERT_EQ(g.multiplier, 8);
    // The position is what the player reports now, not the previewed target.
    EXPECT_EQ(seek_step(g, BACKWARD, at(4700), 105, std::nullopt), "◀◀ -10s (01:35) • 1x");
    EXPECT_EQ(g.origin_secs, 105);
    EXPECT_EQ(g.target_secs, 95);
    // The hold time starts over too: 900 ms later the step is still 10 s.
    seek_step(g, BACKWARD, at(5600), 999, std::nullopt);
    EXPECT_EQ(g.target_secs, 85) << "the position only counts when a gesture starts";
    EXPECT_EQ(g.multiplier, 1);
}

TEST(SeekGesture, DebounceIsDueSixHundredMillisecondsAfterTheLastSeekEvent) {
    SeekGesture g;
    EXPECT_FALSE(seek_debounce_due(g, at(10000))) << "no gesture, nothing to commit";
    seek_step(g, FORWARD, at(0), 100, std::nullopt);
    EXPECT_FALSE(seek_debounce_due(g, at(599)));
    EXPECT_TRUE(seek_debounce_due(g, at(600)));
    // An event too soon to step still counts as input.
    seek_step(g, FORWARD, at(50), 100, std::nullopt);
    EXPECT_FALSE(seek_debounce_due(g, at(649)));
    EXPECT_TRUE(seek_debounce_due(g, at(650)));
    ASSERT_EQ(seek_commit(g), 110);
    EXPECT_FALSE(seek_debounce_due(g, at(5000))) << "a committed gesture is not due again";
}

// A forward limit stops a forward target; a backward target ignores it.
struct LimitCase {
    const char* name;
    bool forward;
    int64_t position;
    std::optional<int64_t> limit;
    int64_t target;
    const char* preview;
};
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class SeekLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(SeekLimit, ClipsForwardTargets) {
    const LimitCase& c = GetParam();
    SeekGesture g;
    EXPECT_EQ(seek_step(g, c.forward, at(0), c.position, c.limit), c.preview);
    EXPECT_EQ(g.target_secs, c.target);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SeekLimit,
    ::testing::Values(LimitCase{"under_limit", FORWARD, 50, 98, 60, "▶▶ +10s (01:00) • 1x"},
                      LimitCase{"clipped", FORWARD, 95, 98, 98, "▶▶ +3s (01:38) • 1x"},
                      LimitCase{"no_limit", FORWARD, 95, std::nullopt, 105, "▶▶ +10s (01:45) • 1x"},
                      LimitCase{"backward_ignores_it", BACKWARD, 5, 3, -5, "◀◀ -10s (00:00) • 1x"},
                      LimitCase{"backward_from_start", BACKWARD, 0, std::nullopt, -10, "◀◀ -10s (00:00) • 1x"},
                      LimitCase{"backward_from_3s", BACKWARD, 3, std::nullopt, -7, "◀◀ -10s (00:00) • 1x"},
                      LimitCase{"hours", FORWARD, 3590, std::nullopt, 3600, "▶▶ +10s (01:00:00) • 1x"}));

TEST(SeekGesture, LaterStepsStayWithinTheLimit) {
    SeekGesture g;
    for (int64_t ms = 0; ms <= 6000; ms += 100) seek_step(g, FORWARD, at(ms), 100, int64_t{400});
    EXPECT_EQ(g.target_secs, 400);
    EXPECT_EQ(seek_commit(g), 400);
}

struct BackendLimitCase {
    int64_t duration;
    std::optional<int64_t> limit;
};

TEST(SeekGesture, HardwarePlayerLimitIsTwoSecondsBeforeTheEnd) {
    const BackendLimitCase cases[] = {{-1, std::nullopt},  {0, std::nullopt}, {2999, std::nullopt},
                                      {3000, 1},           {100000, 98},      {100999, 98},
                                      {MAX, MAX / 1000 - 2}};
    for (const auto& c : cases) EXPECT_EQ(hardware_seek_limit(c.duration), c.limit) << c.duration << " ms";
}

TEST(SeekGesture, PipelineLimitIsFiveSecondsBeforeTheEnd) {
    const BackendLimitCase cases[] = {{MIN, std::nullopt}, {0, std::nullopt}, {5, std::nullopt},
                                      {6, 1},              {100, 95},         {MAX, MAX - 5}};
    for (const auto& c : cases) EXPECT_EQ(pipeline_seek_limit(c.duration), c.limit) << c.duration << " s";
}

TEST(SeekGesture, CommitEndsTheGestureAndNeverGoesBelowTheStart) {
    SeekGesture g;
    EXPECT_EQ(seek_commit(g), std::nullopt) << "nothing to commit without a gesture";

    seek_step(g, BACKWARD, at(0), 3, std::nullopt);
    ASSERT_EQ(g.target_secs, -7);
    EXPECT_EQ(seek_commit(g), 0) << "a target before the start seeks to the start";
    EXPECT_FALSE(g.seeking);
    EXPECT_EQ(seek_commit(g), std::nullopt) << "a gesture commits once";

    // After a commit the next press is a new gesture from the new position,
    // even in the same direction.
    seek_step(g, BACKWARD, at(50), 754, std::nullopt);
    EXPECT_EQ(g.origin_secs, 754);
    EXPECT_EQ(g.multiplier, 1);
    EXPECT_EQ(seek_commit(g), 744);
}

TEST(SeekGesture, ExtremePositionsSaturateInsteadOfWrapping) {
    SeekGesture g;
    EXPECT_EQ(seek_step(g, FORWARD, at(0), MAX - 4, std::nullopt), "▶▶ +4s (2562047788015215:30:07) • 1x");
    EXPECT_EQ(g.target_secs, MAX);
    seek_step(g, FORWARD, at(5000), MAX - 4, std::nullopt);
    EXPECT_EQ(g.target_secs, MAX);

    SeekGesture back;
    EXPECT_EQ(seek_step(back, BACKWARD, at(0), MIN + 3, std::nullopt), "◀◀ -3s (00:00) • 1x");
    EXPECT_EQ(back.target_secs, MIN);
    EXPECT_EQ(seek_commit(back), 0);

    // The distance itself does not fit: it reads as the largest one.
    SeekGesture far;
    seek_step(far, FORWARD, at(0), MIN, int64_t{MAX});
    far.target_secs = MAX;
    EXPECT_TRUE(seek_preview(far).starts_with("▶▶ +153722867280912930m07s (")) << seek_preview(far);
}

TEST(SeekGesture, CommitMessageShowsTheClockOfTheTarget) {
    EXPECT_EQ(seek_commit_message(0), "▶ TUA ĐẾN 00:00");
    EXPECT_EQ(seek_commit_message(754), "▶ TUA ĐẾN 12:34");
    EXPECT_EQ(seek_commit_message(3600), "▶ TUA ĐẾN 01:00:00");
}

}  // namespace
}  // namespace qz

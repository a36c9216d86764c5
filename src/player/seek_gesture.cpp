#include "player/seek_gesture.h"

#include <algorithm>
#include <limits>

#include "player/clock_text.h"

namespace qz {

namespace {

using std::chrono::milliseconds;

constexpr int64_t FIRST_STEP_SECS = 10;

// Positions come from a player's status file: sums saturate instead of
// wrapping into a target on the far side.
int64_t add_saturating(int64_t a, int64_t b) {
    int64_t out = 0;
    if (!__builtin_add_overflow(a, b, &out)) return out;
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

int64_t distance_saturating(int64_t a, int64_t b) {
    const int64_t lo = std::min(a, b), hi = std::max(a, b);
    int64_t out = 0;
    if (__builtin_sub_overflow(hi, lo, &out)) return std::numeric_limits<int64_t>::max();
    return out;
}

struct Step {
    int64_t secs;
    int multiplier;
};

// The longer the direction is held, the larger each step.
Step step_for_hold(SeekGesture::TimePoint::duration held) {
    if (held < milliseconds(1000)) return {10, 1};
    if (held < milliseconds(2500)) return {20, 2};
    if (held < milliseconds(4500)) return {45, 4};
    return {90, 8};
}

void move_target(SeekGesture& g, int64_t secs) { g.target_secs = add_saturating(g.target_secs, g.forward ? secs : -secs); }

}  // namespace

std::string seek_step(SeekGesture& g, bool forward, SeekGesture::TimePoint now, int64_t position_secs,
                      std::optional<int64_t> forward_limit_secs) {
    if (!g.seeking || g.forward != forward) {
        // A change of direction starts over from the playback position, not
        // from the previewed target.
        g.seeking = true;
        g.forward = forward;
        g.origin_secs = position_secs;
        g.target_secs = position_secs;
        move_target(g, FIRST_STEP_SECS);
        g.multiplier = 1;
        g.started = g.last_step = g.last_event = now;
    } else {
        g.last_event = now;
        if (now - g.last_step >= SEEK_MIN_STEP_GAP) {
            const Step step = step_for_hold(now - g.started);
            move_target(g, step.secs);
            g.multiplier = step.multiplier;
            g.last_step = now;
        }
    }
    if (g.forward && forward_limit_secs) g.target_secs = std::min(g.target_secs, *forward_limit_secs);
    return seek_preview(g);
}

std::optional<int64_t> seek_commit(SeekGesture& g) {
    if (!g.seeking) return std::nullopt;
    g.seeking = false;
    return std::max<int64_t>(g.target_secs, 0);
}

bool seek_debounce_due(const SeekGesture& g, SeekGesture::TimePoint now) {
    return g.seeking && now - g.last_event >= SEEK_DEBOUNCE;
}

std::string seek_preview(const SeekGesture& g) {
    std::string text = g.forward ? "▶▶ +" : "◀◀ -";
    text += delta_string(distance_saturating(g.origin_secs, g.target_secs));
    text += " (" + clock_string(g.target_secs) + ") • " + std::to_string(g.multiplier) + "x";
    return text;
}

std::string seek_commit_message(int64_t target_secs) { return "▶ TUA ĐẾN " + clock_string(target_secs); }

std::optional<int64_t> hardware_seek_limit(int64_t duration_ms) {
    if (duration_ms <= 2999) return std::nullopt;
    return duration_ms / 1000 - 2;
}

std::optional<int64_t> pipeline_seek_limit(int64_t duration_secs) {
    if (duration_secs < 6) return std::nullopt;
    return duration_secs - 5;
}

}  // namespace qz

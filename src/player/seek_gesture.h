#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace qz {

// The hold-to-accelerate seek: a previewed target that moves in growing steps
// while a direction is held, committed by the back-end on release, on a pause
// press or after a pause in the input. Pure: every instant is passed in.
struct SeekGesture {
    using TimePoint = std::chrono::steady_clock::time_point;

    bool seeking = false;
    bool forward = true;
    int64_t origin_secs = 0;  // the position the gesture started from
    int64_t target_secs = 0;  // the previewed target; may go below 0 backwards
    int multiplier = 1;       // 1, 2, 4 or 8: the speed shown to the user
    TimePoint started{};
    TimePoint last_step{};
    TimePoint last_event{};
};

// Steps closer together than this leave the target where it is, whatever the
// key repeat rate.
inline constexpr std::chrono::milliseconds SEEK_MIN_STEP_GAP{100};
// No seek event for this long commits the gesture.
inline constexpr std::chrono::milliseconds SEEK_DEBOUNCE{600};

// One seek event. A gesture starts (again) from position_secs when none is in
// progress or the direction changed; otherwise the target moves by 10, 20, 45
// or 90 s by the time held. A forward target is clipped to forward_limit_secs
// when there is one. Returns the preview text, e.g. "◀◀ -10s (00:00) • 1x".
std::string seek_step(SeekGesture& gesture, bool forward, SeekGesture::TimePoint now, int64_t position_secs,
                      std::optional<int64_t> forward_limit_secs);

// Ends the gesture and yields its target in seconds, never below 0 (a player
// is never asked to seek before the start). nullopt when none is in progress.
std::optional<int64_t> seek_commit(SeekGesture& gesture);

// True while seeking once no seek event came for SEEK_DEBOUNCE.
bool seek_debounce_due(const SeekGesture& gesture, SeekGesture::TimePoint now);

// The preview text of the gesture as it stands.
std::string seek_preview(const SeekGesture& gesture);

// What both back-ends show after a commit to target_secs.
std::string seek_commit_message(int64_t target_secs);

// The forward limits of the two back-ends: the hardware player stops 2 s
// before the end of a duration over 2999 ms; the ffmpeg pipeline 5 s before
// the end of one of at least 6 s. nullopt: no usable duration, no limit.
std::optional<int64_t> hardware_seek_limit(int64_t duration_ms);
std::optional<int64_t> pipeline_seek_limit(int64_t duration_secs);

}  // namespace qz

#include "main/playback_flow.h"

#include <gtest/gtest.h>

#include <optional>

namespace qz {
namespace {

TEST(NextEpisode, FollowsTheActionWithinTheList) {
    struct Case {
        PlaybackAction action;
        size_t index, count;
        std::optional<size_t> next;
    };
    constexpr auto NEXT = PlaybackAction::NextEpisode, PREV = PlaybackAction::PrevEpisode,
                   EXIT = PlaybackAction::Exited;
    const Case cases[] = {
        {NEXT, 0, 3, 1},
        {NEXT, 1, 3, 2},
        {NEXT, 2, 3, std::nullopt},  // the last episode ends the chain
        {NEXT, 0, 1, std::nullopt},  // a film has no next
        {PREV, 2, 3, 1},
        {PREV, 1, 3, 0},
        {PREV, 0, 3, std::nullopt},  // the first has no previous
        {EXIT, 0, 3, std::nullopt},
        {EXIT, 2, 3, std::nullopt},
        {NEXT, 5, 3, std::nullopt},
        {PREV, 5, 3, std::nullopt},  // an index past a shrunk list
        {NEXT, 0, 0, std::nullopt},
        {PREV, 0, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(next_episode_index(c.action, c.index, c.count), c.next)
            << "action " << static_cast<int>(c.action) << " at " << c.index << " of " << c.count;
    }
}

TEST(ResumePosition, OnlyTheRecordedEpisodeFromOneSecond) {
    const auto record = [](uint32_t episode, int64_t position) {
        HistoryItem h;
        h.movie_id = "m";
        h.episode_number = episode;
        h.last_pos_secs = position;
        return std::optional<HistoryItem>(h);
    };
    struct Case {
        std::optional<HistoryItem> record;
        uint32_t episode;
        std::optional<int64_t> resume;
    };
    const Case cases[] = {
        {record(4, 754), 4, 754},        {record(4, 754), 5, std::nullopt}, {record(4, 1), 4, 1},
        {record(4, 0), 4, std::nullopt}, {record(4, -5), 4, std::nullopt},  {std::nullopt, 1, std::nullopt},
        {record(0, 30), 0, 30},  // an episode number of 0 is still a number
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resume_position(c.record, c.episode), c.resume)
            << "record " << (c.record ? std::to_string(c.record->episode_number) : "none") << " episode " << c.episode;
    }
    // A continue-watching card resumes its own episode.
    EXPECT_EQ(resume_position(*record(9, 61)), std::optional<int64_t>(61));
    EXPECT_EQ(resume_position(*record(9, 0)), std::nullopt);
}

}  // namespace
}  // namespace qz

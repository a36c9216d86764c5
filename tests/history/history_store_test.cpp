#include "history/history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

using test::path_exists;
using test::read_file;
using test::write_file;
using test::TempDir;

constexpr uint64_t NOW = 1700000000;

// Records a viewing whose strings all derive from the id, at a fixed time.
void record(const std::string& path, const std::string& id, int64_t pos = 10, int64_t dur = 100,
            uint64_t now = NOW) {
    record_progress(
        path, {id, "Title " + id, "http://img/" + id, "Server 1", 3, "Tap 3", "http://play/" + id, pos, dur}, now);
}

std::vector<std::string> ids_of(const std::vector<HistoryItem>& items) {
    std::vector<std::string> ids;
    for (const auto& h : items) ids.push_back(h.movie_id);
    return ids;
}

// A complete, valid entry as text, with one field replaceable.
std::string entry_json(const std::string& last_pos = "0", bool with_updated_at = true) {
    std::string e = R"({"movie_id":"m","movie_title":"t","poster_url":"","server_name":"s",)"
                    R"("episode_number":1,"episode_title":"e","play_url":"u","last_pos_secs":)" +
                    last_pos + R"(,"duration_secs":0)";
    if (with_updated_at) e += R"(,"updated_at":5)";
    return e + "}";
}

struct PositionCase {
    int64_t position;
    int64_t duration;
    int64_t stored;
};

void PrintTo(const PositionCase& c, std::ostream* os) {
    *os << "pos " << c.position << " dur " << c.duration << " -> " << c.stored;
}

class StoredPosition : public ::testing::TestWithParam<PositionCase> {};

TEST_P(StoredPosition, IsNormalisedWhenRecorded) {
    const auto& c = GetParam();
    TempDir dir;
    const std::string path = dir / "history.json";
    testing::internal::CaptureStderr();
    record(path, "m1", c.position, c.duration);
    const std::string log = testing::internal::GetCapturedStderr();

    auto items = load_history(path);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].last_pos_secs, c.stored);
    EXPECT_EQ(items[0].duration_secs, c.duration);
    EXPECT_EQ(log, "[History] Recorded progress for 'Title m1' (ep 3, pos: " + std::to_string(c.stored) +
                       "s [raw " + std::to_string(c.position) + "s] / " + std::to_string(c.duration) + "s)\n");
}

INSTANTIATE_TEST_SUITE_P(History, StoredPosition,
                         ::testing::Values(PositionCase{1700, 1720, 0},  // within the last 30 s: finished
                                           PositionCase{1690, 1720, 0},  // exactly 30 s before the end
                                           PositionCase{1689, 1720, 1689}, PositionCase{50, 60, 50},
                                           PositionCase{31, 61, 0}, PositionCase{-5, 1720, 0},
                                           PositionCase{-5, 0, 0}, PositionCase{100, 0, 100},
                                           PositionCase{0, 0, 0}));

TEST(History, RecordingStoresEveryFieldAsPassed) {
    TempDir dir;
    const std::string path = dir / "history.json";
    record_progress(path, {" id ", "Phim \"A\"", "", "Server 2", 4294967295u, "Tập 7", "http://x/7.m3u8", 42, 3600},
                    1234);
    auto items = load_history(path);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], (HistoryItem{" id ", "Phim \"A\"", "", "Server 2", 4294967295u, "Tập 7", "http://x/7.m3u8",
                                     42, 3600, 1234}));
}

TEST(History, RecordingATitleAgainMovesItToTheFront) {
    TempDir dir;
    const std::string path = dir / "history.json";
    record(path, "a");
    record(path, "b");
    record(path, "c");
    record(path, "a", 77, 1000, NOW + 9);
    auto items = load_history(path);
    EXPECT_EQ(ids_of(items), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(items[0].last_pos_secs, 77);
    EXPECT_EQ(items[0].updated_at, NOW + 9);
}

TEST(History, WallClockRecordingStampsTheCurrentTime) {
    TempDir dir;
    const std::string path = dir / "history.json";
    const auto secs = [] {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count());
    };
    const uint64_t before = secs();
    record_progress(path, {"m", "T", "", "S", 1, "E", "http://u", 5, 100}, wall_clock_secs());
    const uint64_t after = secs();
    auto items = load_history(path);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_GE(items[0].updated_at, before);
    EXPECT_LE(items[0].updated_at, after);
}

TEST(History, IdsAreComparedUntrimmed) {
    TempDir dir;
    const std::string path = dir / "history.json";
    record(path, "a");
    record(path, " a");
    EXPECT_EQ(ids_of(load_history(path)), (std::vector<std::string>{" a", "a"}));
}

TEST(History, TheThirtyFirstTitleDropsTheOldest) {
    TempDir dir;
    const std::string path = dir / "history.json";
    for (int i = 1; i <= 31; ++i) record(path, "t" + std::to_string(i));
    auto items = load_history(path);
    ASSERT_EQ(items.size(), 30u);
    EXPECT_EQ(items.front().movie_id, "t31");
    EXPECT_EQ(items.back().movie_id, "t2");
    // Re-recording a title already listed keeps the count at 30.
    record(path, "t10");
    items = load_history(path);
    ASSERT_EQ(items.size(), 30u);
    EXPECT_EQ(items.front().movie_id, "t10");
    EXPECT_EQ(items.back().movie_id, "t2");
}

struct BlankCase {
    const char* name;
    std::string movie_id;
    std::string play_url;
};

void PrintTo(const BlankCase& c, std::ostream* os) { *os << c.name; }

class BlankRecording : public ::testing::TestWithParam<BlankCase> {};

TEST_P(BlankRecording, WritesAndLogsNothing) {
    const auto& c = GetParam();
    TempDir dir;
    const std::string path = dir / "history.json";
    record(path, "kept");
    const std::string before = read_file(path);
    testing::internal::CaptureStderr();
    record_progress(path, {c.movie_id, "T", "", "S", 1, "E", c.play_url, 5, 100}, NOW);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(read_file(path), before);
}

INSTANTIATE_TEST_SUITE_P(History, BlankRecording,
                         ::testing::Values(BlankCase{"EmptyId", "", "http://p"},
                                           BlankCase{"SpaceId", " \t\n ", "http://p"},
                                           BlankCase{"EmptyUrl", "m", ""}, BlankCase{"SpaceUrl", "m", "     "},
                                           BlankCase{"UnicodeSpaceUrl", "m", "\u3000\u00a0"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadFileCase {
    const char* name;
    std::string bytes;
};

void PrintTo(const BadFileCase& c, std::ostream* os) { *os << c.name; }

class UnreadableHistory : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(UnreadableHistory, ReadsAsEmpty) {
    TempDir dir;
    const std::string path = dir / "history.json";
    write_file(path, GetParam().bytes);
    EXPECT_TRUE(load_history(path).empty());
}

INSTANTIATE_TEST_SUITE_P(
    History, UnreadableHistory,
    ::testing::Values(
        BadFileCase{"MissingUpdatedAt", "[" + entry_json("0") + "," + entry_json("0", false) + "]"},
        BadFileCase{"FractionalPosition", "[" + entry_json("12.5") + "]"},
        BadFileCase{"IntegerWrittenAsFraction", "[" + entry_json("12.0") + "]"},
        BadFileCase{"StringPosition", "[" + entry_json("\"12\"") + "]"},
        BadFileCase{"NullPosition", "[" + entry_json("null") + "]"},
        BadFileCase{"PositionBeyondInt64", "[" + entry_json("9223372036854775808") + "]"},
        BadFileCase{"NegativeEpisode",
                    R"([{"movie_id":"m","movie_title":"t","poster_url":"","server_name":"s","episode_number":-1,)"
                    R"("episode_title":"e","play_url":"u","last_pos_secs":0,"duration_secs":0,"updated_at":5}])"},
        BadFileCase{"EpisodeBeyondUint32",
                    R"([{"movie_id":"m","movie_title":"t","poster_url":"","server_name":"s",)"
                    R"("episode_number":4294967296,"episode_title":"e","play_url":"u","last_pos_secs":0,)"
                    R"("duration_secs":0,"updated_at":5}])"},
        BadFileCase{"NotAnArray", entry_json()}, BadFileCase{"EntryNotAnObject", "[1]"},
        BadFileCase{"TruncatedJson", "[" + entry_json()}, BadFileCase{"TrailingGarbage", "[] x"},
        BadFileCase{"Empty", ""},
        BadFileCase{"NotUtf8",
                    R"([{"movie_id":"m","movie_title":")" + std::string("\xff\xfe") +
                        R"(","poster_url":"","server_name":"s","episode_number":1,"episode_title":"e",)"
                        R"("play_url":"u","last_pos_secs":0,"duration_secs":0,"updated_at":5}])"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(History, ValidFileWithExtraKeysAndNegativeValuesReads) {
    TempDir dir;
    const std::string path = dir / "history.json";
    write_file(path,
               " [ {\"extra\": {\"x\": [1, 2.5]}, \"movie_id\":\"m\",\"movie_title\":\"t\",\"poster_url\":\"\","
               "\"server_name\":\"s\",\"episode_number\":4294967295,\"episode_title\":\"e\",\"play_url\":\"u\","
               "\"last_pos_secs\":-7,\"duration_secs\":-1,\"updated_at\":18446744073709551615} ] \n");
    auto items = load_history(path);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], (HistoryItem{"m", "t", "", "s", 4294967295u, "e", "u", -7, -1, 18446744073709551615ull}));
}

TEST(History, ByteOrderMarkAndRepeatedKeysStillRead) {
    TempDir dir;
    const std::string path = dir / "history.json";
    std::string entry = entry_json("7");
    entry.insert(1, R"("last_pos_secs":"not a number",)");  // the later value counts
    write_file(path, "\xEF\xBB\xBF[" + entry + "]");
    const auto items = load_history(path);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].last_pos_secs, 7);
}

TEST(History, MissingFileReadsAsEmpty) {
    TempDir dir;
    EXPECT_TRUE(load_history(dir / "history.json").empty());
}

TEST(History, FileBytesOfTwoEntries) {
    TempDir dir;
    const std::string path = dir / "history.json";
    record_progress(path, {"old", "Cũ", "", "Server 1", 1, "Tập 1", "http://a", 1700, 1720}, 100);
    record_progress(path, {"new", "Say \"hi\"\\\n\x01", "http://p.png", "S2", 12, "E", "http://b", -5, -1}, 200);
    const std::string expected =
        "[\n"
        "  {\n"
        "    \"movie_id\": \"new\",\n"
        "    \"movie_title\": \"Say \\\"hi\\\"\\\\\\n\\u0001\",\n"
        "    \"poster_url\": \"http://p.png\",\n"
        "    \"server_name\": \"S2\",\n"
        "    \"episode_number\": 12,\n"
        "    \"episode_title\": \"E\",\n"
        "    \"play_url\": \"http://b\",\n"
        "    \"last_pos_secs\": 0,\n"
        "    \"duration_secs\": -1,\n"
        "    \"updated_at\": 200\n"
        "  },\n"
        "  {\n"
        "    \"movie_id\": \"old\",\n"
        "    \"movie_title\": \"Cũ\",\n"
        "    \"poster_url\": \"\",\n"
        "    \"server_name\": \"Server 1\",\n"
        "    \"episode_number\": 1,\n"
        "    \"episode_title\": \"Tập 1\",\n"
        "    \"play_url\": \"http://a\",\n"
        "    \"last_pos_secs\": 0,\n"
        "    \"duration_secs\": 1720,\n"
        "    \"updated_at\": 100\n"
        "  }\n"
        "]";
    EXPECT_EQ(read_file(path), expected);
    EXPECT_FALSE(path_exists(dir / "history.tmp"));
}

TEST(History, UnreadableFileIsKeptBeforeTheFirstOverwrite) {
    TempDir dir;
    const std::string path = dir / "history.json";
    const std::string damaged = "[" + entry_json() + ", {\"movie_id\": \"half";
    write_file(path, damaged);
    write_file(dir / "history.json.bad", "an older damaged file");

    testing::internal::CaptureStderr();
    record(path, "new");
    const std::string log = testing::internal::GetCapturedStderr();

    EXPECT_EQ(read_file(dir / "history.json.bad"), damaged);
    EXPECT_EQ(ids_of(load_history(path)), (std::vector<std::string>{"new"}));
    EXPECT_EQ(log.find("[History] Unreadable history kept as " + dir / "history.json.bad" + "\n"), 0u) << log;

    // The next recording finds a good file and keeps nothing more.
    testing::internal::CaptureStderr();
    record(path, "newer");
    EXPECT_EQ(testing::internal::GetCapturedStderr().find("Unreadable"), std::string::npos);
    EXPECT_EQ(read_file(dir / "history.json.bad"), damaged);
    EXPECT_EQ(ids_of(load_history(path)), (std::vector<std::string>{"newer", "new"}));
}

// What is not a small regular file reads as empty at once, and is moved aside
// like a damaged file when the next recording replaces it.
TEST(History, FifoOrOversizedFileIsUnreadableAndKeptAside) {
    TempDir dir;
    const std::string path = dir / "history.json";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_TRUE(load_history(path).empty());
    record(path, "a");
    EXPECT_EQ(ids_of(load_history(path)), (std::vector<std::string>{"a"}));
    EXPECT_FALSE(std::filesystem::is_regular_file(dir / "history.json.bad"));
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "history.json.bad"));

    // A valid list padded past 1 MiB; one byte less is still read.
    const std::string list = "[" + entry_json() + "]";
    write_file(path, list + std::string(1024 * 1024 - list.size(), '\n'));
    EXPECT_EQ(load_history(path).size(), 1u);
    write_file(path, list + std::string(1024 * 1024 + 1 - list.size(), '\n'));
    EXPECT_TRUE(load_history(path).empty());
    record(path, "b");
    EXPECT_EQ(ids_of(load_history(path)), (std::vector<std::string>{"b"}));
    EXPECT_EQ(read_file(dir / "history.json.bad").size(), 1024u * 1024 + 1);
}

TEST(History, ReadableOrMissingFileIsNotKept) {
    TempDir dir;
    const std::string path = dir / "history.json";
    record(path, "a");  // no file before
    write_file(path, "[]");
    record(path, "b");  // a valid, empty list
    EXPECT_FALSE(path_exists(dir / "history.json.bad"));
    EXPECT_EQ(ids_of(load_history(path)), (std::vector<std::string>{"b"}));
}

TEST(History, FailedWriteLeavesTheOldFileAndStillLogs) {
    TempDir dir;
    const std::string path = dir / "history.json";
    record(path, "a");
    const std::string before = read_file(path);
    // A directory where the temporary file belongs makes the write fail.
    std::filesystem::create_directory(dir / "history.tmp");
    testing::internal::CaptureStderr();
    record(path, "b");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Recorded progress for 'Title b'"), std::string::npos);
    EXPECT_EQ(read_file(path), before);
}

TEST(History, FailedWriteNeverMovesAnUnreadableFileAside) {
    TempDir dir;
    const std::string path = dir / "history.json";
    write_file(path, "garbage");
    std::filesystem::create_directory(dir / "history.tmp");
    record(path, "b");
    EXPECT_EQ(read_file(path), "garbage");
    EXPECT_FALSE(path_exists(dir / "history.json.bad"));
}

TEST(History, MissingDirectoryIsSilent) {
    TempDir dir;
    const std::string path = dir / "no/such/dir/history.json";
    testing::internal::CaptureStderr();
    record(path, "a");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[History] Recorded progress for 'Title a' (ep 3, pos: 10s [raw 10s] / 100s)\n");
    EXPECT_TRUE(load_history(path).empty());
}

TEST(History, TemporaryPathReplacesTheExtension) {
    TempDir dir;
    const std::string path = dir / "data.json";
    std::filesystem::create_directory(dir / "data.tmp");  // blocks exactly that name
    record(path, "a");
    EXPECT_FALSE(path_exists(path));
}

}  // namespace
}  // namespace qz

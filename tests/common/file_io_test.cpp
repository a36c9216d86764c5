#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <string>

#include "common/file_io.h"
#include "common/unique_fd.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

constexpr size_t CAP = 64;

enum class Kind { Regular, Missing, Directory, Fifo };

struct ReadCase {
    const char* name;
    Kind kind;
    size_t size;  // bytes of a regular file
    FileReadStatus status;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class ReadFileCappedTest : public ::testing::TestWithParam<ReadCase> {};

// Each byte differs from its neighbours, so a lost or repeated chunk shows.
std::string pattern_text(size_t size) {
    std::string text;
    for (size_t i = 0; i < size; ++i) text.push_back(static_cast<char>('a' + i % 26));
    return text;
}

TEST_P(ReadFileCappedTest, SaysWhatItFoundWithoutBlocking) {
    const ReadCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir / "file.json";
    switch (c.kind) {
        case Kind::Regular: test::write_file(path, pattern_text(c.size)); break;
        case Kind::Missing: break;
        case Kind::Directory: test::make_dirs(path); break;
        case Kind::Fifo: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
    }
    // A reader that opened a FIFO without O_NONBLOCK would wait here for a
    // writer forever; run it aside so such a fault fails instead of hanging.
    auto reading = std::async(std::launch::async, [&] { return read_file_capped(path, CAP); });
    if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        UniqueFd writer(::open(path.c_str(), O_WRONLY | O_NONBLOCK));  // lets a blocked open return
        reading.wait();
        FAIL() << "read_file_capped blocked on " << c.name;
    }
    const FileRead r = reading.get();
    EXPECT_EQ(r.status, c.status);
    if (c.status == FileReadStatus::Ok) {
        EXPECT_EQ(r.text, pattern_text(c.size));
    } else {
        EXPECT_TRUE(r.text.empty()) << "a refused file must not hand out a part of itself";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReadFileCappedTest,
    ::testing::Values(ReadCase{"regular", Kind::Regular, 40, FileReadStatus::Ok},
                      ReadCase{"empty", Kind::Regular, 0, FileReadStatus::Ok},
                      ReadCase{"exactly_the_cap", Kind::Regular, CAP, FileReadStatus::Ok},
                      ReadCase{"one_byte_over_the_cap", Kind::Regular, CAP + 1, FileReadStatus::TooLarge},
                      ReadCase{"missing", Kind::Missing, 0, FileReadStatus::Missing},
                      ReadCase{"directory", Kind::Directory, 0, FileReadStatus::NotRegular},
                      ReadCase{"fifo", Kind::Fifo, 0, FileReadStatus::NotRegular}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadFileCapped, ReadsAFileLargerThanOneReadBuffer) {
    test::TempDir dir;
    const std::string text = pattern_text(200000);
    test::write_file(dir / "big", text);
    const FileRead r = read_file_capped(dir / "big", text.size());
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.text, text);
    EXPECT_EQ(read_file_capped(dir / "big", text.size() - 1).status, FileReadStatus::TooLarge);
}

class WriteFileAtomicTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir / "history.json";
    std::string tmp = temp_path_for(path);
};

TEST_F(WriteFileAtomicTest, ReplacesTheContentAndLeavesNoTemporaryFile) {
    test::write_file(path, "old content that is longer than the new one");
    ASSERT_TRUE(write_file_atomic(path, "new"));
    EXPECT_EQ(test::read_file(path), "new");
    EXPECT_EQ(tmp, dir / "history.tmp");
    EXPECT_FALSE(test::path_exists(tmp));
}

TEST_F(WriteFileAtomicTest, KeepsTheOldContentWhenTheTemporaryFileCannotBeWritten) {
    test::write_file(path, "old");
    test::make_dirs(tmp);  // the temporary path is taken by a directory
    EXPECT_FALSE(write_file_atomic(path, "new"));
    EXPECT_EQ(test::read_file(path), "old");
    EXPECT_TRUE(test::is_directory(tmp)) << "a directory in the way is not ours to remove";
}

TEST_F(WriteFileAtomicTest, RemovesTheTemporaryFileWhenTheRenameFails) {
    // A non-empty directory cannot be renamed over: the temporary file is
    // written in full, then the rename fails.
    test::write_file(dir / "history.json/keep", "x");
    EXPECT_FALSE(write_file_atomic(path, "new"));
    EXPECT_FALSE(test::path_exists(tmp));
    EXPECT_EQ(test::read_file(dir / "history.json/keep"), "x");
}

TEST_F(WriteFileAtomicTest, CreatesAFileThatDidNotExist) {
    ASSERT_TRUE(write_file_atomic(path, "{}"));
    EXPECT_EQ(test::read_file(path), "{}");
    EXPECT_FALSE(test::path_exists(tmp));
}

bool fd_is_open(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, MovedDescriptorIsClosedOnceByItsLastOwner) {
    test::TempDir dir;
    UniqueFd outer;
    int raw = -1;
    {
        UniqueFd first(::open(dir.path().c_str(), O_RDONLY | O_CLOEXEC));
        raw = first.get();
        ASSERT_TRUE(first);
        UniqueFd second(std::move(first));
        EXPECT_FALSE(first);
        outer = std::move(second);
    }  // neither moved-from owner closed it
    EXPECT_TRUE(fd_is_open(raw));
    outer.reset();
    EXPECT_FALSE(fd_is_open(raw));
}

TEST(UniqueFd, ExplicitCloseDoesNotCloseAReusedNumberLater) {
    test::TempDir dir;
    UniqueFd first(::open(dir.path().c_str(), O_RDONLY | O_CLOEXEC));
    const int raw = first.get();
    EXPECT_TRUE(first.close());
    EXPECT_FALSE(first.close());
    // The lowest free number is handed out again: the same one.
    UniqueFd second(::open(dir.path().c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(second.get(), raw);
    { UniqueFd gone(std::move(first)); }
    EXPECT_TRUE(fd_is_open(raw));
}

}  // namespace
}  // namespace qz

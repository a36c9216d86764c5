// ctest-labels: threads
// The cache with its real workers, real curl and a loopback server.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "support/files.h"
#include "support/image_fixtures.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"
#include "thumbnail/thumbnail_cache.h"
#include "thumbnail/thumbnail_file.h"

namespace qz {
namespace {

using namespace std::chrono_literals;

constexpr size_t FULL_THUMB_BYTES = 240 * 360 * 4;

class ThumbnailCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::have_programs({"curl", "python3", "cjpeg"})) GTEST_SKIP() << "curl, python3 or cjpeg missing";
        ASSERT_TRUE(server.running());
        poster = test::cjpeg_encode(test::quadrants_image(500, 750), "-quality 90");
        ASSERT_FALSE(poster.empty());
        server.put("poster.jpg", poster);
    }

    void TearDown() override {
        if (cache) cache->close_and_wait();
        cache.reset();
    }

    void start(size_t memory_limit = THUMBNAIL_MEMORY_LIMIT, std::string dir = {}) {
        ThumbnailCacheOptions options;
        options.cache_dir = dir.empty() ? cache_dir.path() : dir;
        options.memory_limit_bytes = memory_limit;
        cache = std::make_unique<ThumbnailCache>(std::move(options));
    }

    // Asks once per "frame" until the thumbnail is ready.
    std::shared_ptr<const RgbaBitmap> wait_ready(const std::string& url) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (auto image = cache->get(url)) return image;
            std::this_thread::sleep_for(5ms);
        }
        return nullptr;
    }

    std::string stored_path(const std::string& url) const { return cache_dir / thumbnail_file_name(url); }

    test::StaticServer server;
    test::TempDir cache_dir;
    std::string poster;
    std::unique_ptr<ThumbnailCache> cache;
};

TEST_F(ThumbnailCacheTest, DownloadsScalesStoresAndSharesOneBitmap) {
    start();
    const std::string url = server.url("/poster.jpg");
    EXPECT_EQ(cache->get(url), nullptr);  // queued, never waited for
    auto image = wait_ready(url);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 240u);
    EXPECT_EQ(image->height, 360u);
    EXPECT_TRUE(test::rgba_near(test::pixel_at(*image, 60, 90), {255, 0, 0, 255}, 12));

    // Later frames get the same immutable bitmap, not a copy.
    EXPECT_EQ(cache->get(url).get(), image.get());
    const std::string file = test::read_file(stored_path(url));
    ASSERT_EQ(file.size(), 8 + FULL_THUMB_BYTES);
    EXPECT_EQ(file.substr(8), std::string(image->pixels.begin(), image->pixels.end()));
    EXPECT_EQ(server.count("/poster.jpg"), 1u);
}

TEST_F(ThumbnailCacheTest, StoredFileIsUsedWithoutTheNetwork) {
    const std::string url = server.url("/poster.jpg");
    const RgbaBitmap stored = test::noise_image(4, 6, true);
    ASSERT_TRUE(write_thumbnail_file(stored_path(url), stored));
    start();
    auto image = wait_ready(url);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 4u);
    EXPECT_EQ(image->pixels, stored.pixels);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(ThumbnailCacheTest, SecondRunStartsFromDisk) {
    const std::string url = server.url("/poster.jpg");
    start();
    auto first = wait_ready(url);
    ASSERT_NE(first, nullptr);
    cache->close_and_wait();
    start();
    auto second = wait_ready(url);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->pixels, first->pixels);
    EXPECT_EQ(server.count("/poster.jpg"), 1u);
}

TEST_F(ThumbnailCacheTest, FileOneByteShortIsDownloadedAgainAndRewritten) {
    const std::string url = server.url("/poster.jpg");
    test::write_file(stored_path(url), std::string("\xf0\0\0\0\x68\x01\0\0", 8) +
                                                 std::string(FULL_THUMB_BYTES - 1, '\x7f'));
    start();
    auto image = wait_ready(url);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(server.count("/poster.jpg"), 1u);
    EXPECT_EQ(test::read_file(stored_path(url)).size(), 8 + FULL_THUMB_BYTES);
    EXPECT_NE(test::pixel_at(*image, 0, 0).g, 0x7f);
}

TEST_F(ThumbnailCacheTest, TrailingQuestionMarkIsAnotherKeyAndFile) {
    start();
    const std::string plain = server.url("/poster.jpg"), marked = plain + "?";
    ASSERT_NE(wait_ready(plain), nullptr);
    ASSERT_NE(wait_ready(marked), nullptr);
    EXPECT_NE(stored_path(plain), stored_path(marked));
    EXPECT_TRUE(std::filesystem::exists(stored_path(plain)));
    EXPECT_TRUE(std::filesystem::exists(stored_path(marked)));
    EXPECT_EQ(server.count("/poster.jpg"), 1u);
    EXPECT_EQ(server.count("/poster.jpg?"), 1u);
}

// The server holds the answer long enough for a second worker to start a
// duplicate download, if the URL had been queued twice.
TEST_F(ThumbnailCacheTest, TwoGetsInOneFrameQueueOnce) {
    start();
    const std::string url = server.url("/poster.jpg?delay=0.5");
    EXPECT_EQ(cache->get(url), nullptr);
    EXPECT_EQ(cache->get(url), nullptr);
    ASSERT_NE(wait_ready(url), nullptr);
    EXPECT_EQ(server.count("/poster.jpg?delay=0.5"), 1u);
}

struct FailingCase {
    const char* name;
    const char* target;
};

void PrintTo(const FailingCase& c, std::ostream* os) { *os << c.name; }

class FailingPosterTest : public ThumbnailCacheTest, public ::testing::WithParamInterface<FailingCase> {};

// A failure leaves no trace: nothing logged, nothing stored, and the next get
// of the URL (the next frame showing it) tries again.
TEST_P(FailingPosterTest, IsRetriedOnLaterGetsSilently) {
    server.put("page.jpg", "<html>not an image</html>");
    start();
    const std::string target = GetParam().target, url = server.url(target);
    ::testing::internal::CaptureStderr();
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (server.count(target) < 3 && std::chrono::steady_clock::now() < deadline) {
        EXPECT_EQ(cache->get(url), nullptr);
        std::this_thread::sleep_for(5ms);
    }
    cache->close_and_wait();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_GE(server.count(target), 3u);
    EXPECT_EQ(cache->get(url), nullptr);
    EXPECT_FALSE(std::filesystem::exists(stored_path(url)));
}

INSTANTIATE_TEST_SUITE_P(Posters, FailingPosterTest,
                         ::testing::Values(FailingCase{"http_404", "/missing.jpg"},
                                           FailingCase{"not_an_image", "/page.jpg"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ThumbnailCacheTest, EvictsLeastRecentlyUsedAndReloadsFromDisk) {
    start(2 * FULL_THUMB_BYTES + FULL_THUMB_BYTES / 2);  // room for two posters
    const std::string a = server.url("/poster.jpg?a"), b = server.url("/poster.jpg?b"),
                      c = server.url("/poster.jpg?c");
    ASSERT_NE(wait_ready(a), nullptr);
    auto b_image = wait_ready(b);
    ASSERT_NE(b_image, nullptr);
    ASSERT_NE(cache->get(a), nullptr);  // a is now more recent than b
    ASSERT_NE(wait_ready(c), nullptr);

    // Touching a then c leaves a as the least recent of the two kept.
    EXPECT_NE(cache->get(a), nullptr);
    EXPECT_NE(cache->get(c), nullptr);
    EXPECT_EQ(cache->get(b), nullptr) << "b was least recently used";
    EXPECT_EQ(b_image->width, 240u) << "a bitmap still held by a screen stays valid";

    auto reloaded = wait_ready(b);  // like a URL never loaded: queued, then from disk
    ASSERT_NE(reloaded, nullptr);
    EXPECT_EQ(reloaded->pixels, b_image->pixels);
    EXPECT_EQ(cache->get(a), nullptr) << "b's return pushed out a";
    EXPECT_EQ(server.count("/poster.jpg?b"), 1u);
}

TEST_F(ThumbnailCacheTest, WorksFromMemoryWhenTheDirectoryIsUnusable) {
    start(THUMBNAIL_MEMORY_LIMIT, cache_dir / "missing/below");
    const std::string url = server.url("/poster.jpg");
    ASSERT_NE(wait_ready(url), nullptr);
    EXPECT_NE(cache->get(url), nullptr);
    EXPECT_FALSE(std::filesystem::exists(cache_dir / "missing"));
}

TEST_F(ThumbnailCacheTest, ManyPostersAtOnceEachLoadOnce) {
    start();
    std::vector<std::string> urls;
    for (int i = 0; i < 12; ++i) urls.push_back(server.url("/poster.jpg?n=" + std::to_string(i)));
    for (const auto& url : urls) EXPECT_EQ(cache->get(url), nullptr);
    for (const auto& url : urls) EXPECT_NE(wait_ready(url), nullptr) << url;
    EXPECT_EQ(server.requests().size(), urls.size());
}

// A thread that cannot be started ends construction with the error; the
// workers already running are stopped rather than left joinable.
TEST(ThumbnailCacheStart, ThreadStartFailurePropagates) {
    test::TempDir dir;
    std::atomic<int> finished{0};
    int started = 0;
    ThumbnailCacheOptions options;
    options.cache_dir = dir.path();
    options.start_thread = [&](std::function<void()> body) {
        if (started == 2) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        ++started;
        return std::thread([&finished, body = std::move(body)] {
            body();
            ++finished;
        });
    };
    EXPECT_THROW(ThumbnailCache cache(std::move(options)), std::system_error);
    EXPECT_EQ(started, 2);
    EXPECT_EQ(finished.load(), 2);
}

}  // namespace
}  // namespace qz

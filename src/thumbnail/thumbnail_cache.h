#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/channel.h"
#include "graphics/rgba_bitmap.h"

namespace qz {

inline constexpr unsigned THUMBNAIL_WORKERS = 4;
// Pixel bytes kept in memory: about 145 full-size posters. The disk cache
// below it is unbounded.
inline constexpr size_t THUMBNAIL_MEMORY_LIMIT = 48u * 1024 * 1024;

struct ThumbnailCacheOptions {
    std::string cache_dir;
    unsigned worker_count = THUMBNAIL_WORKERS;
    size_t memory_limit_bytes = THUMBNAIL_MEMORY_LIMIT;
    // How a worker thread is started; empty means std::thread. Lets a test
    // make a start fail the way an exhausted system does.
    std::function<std::thread(std::function<void()>)> start_thread;
};

// Turns poster URLs into small decoded bitmaps without ever blocking the
// caller: get() only looks up and queues; workers load from the disk cache or
// download, decode, scale and store.
class ThumbnailCache {
public:
    // Starts the workers. Throws std::system_error when a thread cannot be
    // started (the workers already running are stopped first).
    explicit ThumbnailCache(ThumbnailCacheOptions options);
    ThumbnailCache(const ThumbnailCache&) = delete;
    ThumbnailCache& operator=(const ThumbnailCache&) = delete;
    // Closes the request channel; workers end once back at their wait and
    // are not waited for (one may be inside a ten-second download).
    ~ThumbnailCache();

    // The ready thumbnail, shared and immutable, or null while it is queued,
    // loading or after it failed (the next call queues it again).
    std::shared_ptr<const RgbaBitmap> get(const std::string& url);

    // Closes the request channel and waits until every worker has ended.
    // Afterwards get() still answers from memory but loads nothing new.
    void close_and_wait();

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    Sender<std::string> requests_;
    std::vector<std::thread> workers_;
};

}  // namespace qz

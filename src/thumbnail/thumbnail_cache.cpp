#include "thumbnail/thumbnail_cache.h"

#include <list>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "thumbnail/poster_download.h"
#include "thumbnail/thumbnail_file.h"
#include "thumbnail/thumbnail_image.h"

namespace qz {
namespace {

using ImagePtr = std::shared_ptr<const RgbaBitmap>;

// Ready thumbnails by URL, bounded by pixel bytes; the least recently used
// entry goes first. An evicted URL is simply absent again.
class ImageLru {
public:
    explicit ImageLru(size_t limit_bytes) : limit_bytes_(limit_bytes) {}

    ImagePtr find_and_touch(const std::string& url) {
        auto it = index_.find(url);
        if (it == index_.end()) return nullptr;
        order_.splice(order_.begin(), order_, it->second);
        return it->second->second;
    }

    bool contains(const std::string& url) const { return index_.count(url) != 0; }

    void insert(const std::string& url, ImagePtr image) {
        if (auto it = index_.find(url); it != index_.end()) {
            const auto node = it->second;
            bytes_ -= node->second->pixels.size();
            index_.erase(it);  // before the node its key points into
            order_.erase(node);
        }
        bytes_ += image->pixels.size();
        order_.emplace_front(url, std::move(image));
        index_.emplace(order_.front().first, order_.begin());
        // The newest entry always stays, even alone over the limit, so that
        // a get() after its load can succeed.
        while (bytes_ > limit_bytes_ && order_.size() > 1) {
            auto& last = order_.back();
            bytes_ -= last.second->pixels.size();
            index_.erase(last.first);
            order_.pop_back();
        }
    }

private:
    using Entry = std::pair<std::string, ImagePtr>;
    std::list<Entry> order_;  // most recently used first
    std::unordered_map<std::string_view, std::list<Entry>::iterator> index_;  // views into order_
    size_t bytes_ = 0;
    size_t limit_bytes_;
};

}  // namespace

// Lock order: images_mutex before pending_mutex, never the other way round.
struct ThumbnailCache::Shared {
    Shared(std::string dir, size_t limit, Receiver<std::string> rx)
        : cache_dir(std::move(dir)), images(limit), requests(std::move(rx)) {}

    const std::string cache_dir;
    std::mutex images_mutex;
    ImageLru images;
    std::mutex pending_mutex;
    std::unordered_set<std::string> pending;  // queued or being loaded
    std::mutex receiver_mutex;                // idle workers queue up here
    Receiver<std::string> requests;
};

namespace {

// Disk cache first, then the network. Null on any failure; nothing is logged.
ImagePtr load_thumbnail(const std::string& cache_dir, const std::string& url) {
    const std::string name = thumbnail_file_name(url);
    const std::string path = cache_dir.empty() ? name : cache_dir + "/" + name;
    if (auto stored = read_thumbnail_file(path)) return std::make_shared<const RgbaBitmap>(std::move(*stored));

    DownloadResult body = download_poster(url);
    if (std::holds_alternative<DownloadFailure>(body)) return nullptr;
    ThumbnailResult thumb = make_thumbnail(std::get<std::string>(body));
    if (std::holds_alternative<DecodeError>(thumb)) return nullptr;
    auto image = std::make_shared<const RgbaBitmap>(std::move(std::get<RgbaBitmap>(thumb)));
    write_thumbnail_file(path, *image);
    return image;
}

void process_request(ThumbnailCache::Shared& s, const std::string& url) {
    {
        std::lock_guard images_lock(s.images_mutex);
        if (s.images.contains(url)) {
            std::lock_guard pending_lock(s.pending_mutex);
            s.pending.erase(url);
            return;
        }
    }
    ImagePtr image;
    try {
        image = load_thumbnail(s.cache_dir, url);
    } catch (...) {
        // Out of memory or similar: the URL just becomes absent again.
        image = nullptr;
    }
    if (image) {
        std::lock_guard images_lock(s.images_mutex);
        s.images.insert(url, std::move(image));
    }
    std::lock_guard pending_lock(s.pending_mutex);
    s.pending.erase(url);
}

void run_worker(const std::shared_ptr<ThumbnailCache::Shared>& s) {
    for (;;) {
        std::optional<std::string> url;
        {
            std::lock_guard lock(s->receiver_mutex);
            url = s->requests.recv();
        }
        if (!url) return;  // every sender is gone
        process_request(*s, *url);
    }
}

}  // namespace

ThumbnailCache::ThumbnailCache(ThumbnailCacheOptions options) {
    auto [tx, rx] = make_channel<std::string>();
    shared_ = std::make_shared<Shared>(std::move(options.cache_dir), options.memory_limit_bytes, std::move(rx));
    requests_ = std::move(tx);
    auto start = options.start_thread;
    if (!start) start = [](std::function<void()> body) { return std::thread(std::move(body)); };
    try {
        workers_.reserve(options.worker_count);
        for (unsigned i = 0; i < options.worker_count; ++i) {
            workers_.push_back(start([s = shared_] { run_worker(s); }));
        }
    } catch (...) {
        close_and_wait();
        throw;
    }
}

ThumbnailCache::~ThumbnailCache() {
    requests_.reset();
    for (auto& worker : workers_) {
        if (worker.joinable()) worker.detach();
    }
}

std::shared_ptr<const RgbaBitmap> ThumbnailCache::get(const std::string& url) {
    {
        std::lock_guard images_lock(shared_->images_mutex);
        if (ImagePtr image = shared_->images.find_and_touch(url)) return image;
    }
    std::lock_guard pending_lock(shared_->pending_mutex);
    if (!shared_->pending.insert(url).second) return nullptr;
    requests_.send(url);  // never blocks; a closed channel is ignored
    return nullptr;
}

void ThumbnailCache::close_and_wait() {
    requests_.reset();
    for (auto& worker : workers_) {
        if (worker.joinable()) worker.join();
    }
    workers_.clear();
}

}  // namespace qz

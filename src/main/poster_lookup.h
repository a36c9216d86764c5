#pragma once

#include <memory>
#include <string>

#include "graphics/rgba_bitmap.h"

namespace qz {

// How the screens ask for a poster: a ready image or nothing (a miss queues a
// download, so the image shows up on a later frame).
class PosterLookup {
public:
    virtual ~PosterLookup() = default;
    virtual std::shared_ptr<const RgbaBitmap> get(const std::string& url) = 0;
};

// Every lookup misses: the placeholders show.
class NoPosters final : public PosterLookup {
public:
    std::shared_ptr<const RgbaBitmap> get(const std::string&) override { return nullptr; }
};

// Tries the URLs in order, skipping empty ones and a repeat of the first.
std::shared_ptr<const RgbaBitmap> lookup_poster(PosterLookup& posters, const std::string& first,
                                                const std::string& second);

}  // namespace qz

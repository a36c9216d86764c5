#include "main/poster_lookup.h"

namespace qz {

std::shared_ptr<const RgbaBitmap> lookup_poster(PosterLookup& posters, const std::string& first,
                                                const std::string& second) {
    if (!first.empty()) {
        if (auto image = posters.get(first)) return image;
    }
    if (!second.empty() && second != first) return posters.get(second);
    return nullptr;
}

}  // namespace qz

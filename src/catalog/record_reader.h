#pragma once

#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "catalog/media_records.h"

namespace qz {

// The catalog cache in memory: shelf key to that shelf's items.
using CatalogMap = std::map<std::string, std::vector<MediaItem>>;

// Strict readers for the catalog service's answers. The error text names the
// problem with its line and column ("missing field `slug` at line 1 column
// 80"); one bad element fails the whole body.
std::variant<std::vector<MediaItem>, std::string> read_media_items(std::string_view body);
std::variant<MediaDetail, std::string> read_media_detail(std::string_view body);
std::variant<ExtractResp, std::string> read_extract_resp(std::string_view body);
// One object whose members are arrays of MediaItem.
std::variant<CatalogMap, std::string> read_catalog_map(std::string_view body);

}  // namespace qz

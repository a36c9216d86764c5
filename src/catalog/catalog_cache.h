#pragma once

#include <string>
#include <vector>

#include "catalog/media_records.h"
#include "catalog/record_reader.h"

namespace qz {

// The cache file as a map; empty when the file is missing, unreadable, not
// UTF-8 or not an object of MediaItem arrays. Nothing is logged.
CatalogMap load_catalog_cache(const std::string& path);

// The file's text: one compact JSON object, every item with all ten keys in
// declaration order, null for what is not set, "year" as it was received.
std::string serialize_catalog_cache(const CatalogMap& cache);

// The temporary file used while writing: the same path with the extension
// "tmp" ("catalog_cache.json" -> "catalog_cache.tmp").
std::string catalog_cache_temp_path(const std::string& path);

// Writes the whole map to the temporary file, flushes it to the disk and
// renames it over path, so a power cut leaves the old or the new file, never
// a partial one. False on failure (callers may ignore it): the old file is
// then untouched and the temporary file removed.
bool save_catalog_cache(const std::string& path, const CatalogMap& cache);

// What the main loop does with a successful shelf fetch: sort newest first,
// store under the key (replacing the old list, other keys kept), rewrite the
// cache file at path (failure ignored). Returns the sorted list.
const std::vector<MediaItem>& store_shelf(CatalogMap& cache, const std::string& key, std::vector<MediaItem> items,
                                          const std::string& path);

}  // namespace qz

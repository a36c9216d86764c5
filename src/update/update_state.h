#pragma once

#include <string>
#include <variant>

#include "update/ota_manifest.h"

namespace qz {

struct UpdateUpToDate {};
struct UpdateChecking {};
struct UpdateAvailable {
    OtaManifest manifest;
};
struct UpdateDownloading {};
struct UpdateFailed {
    std::string error;
};

// The update panel's state; the first alternative is the initial one.
using UpdateState = std::variant<UpdateUpToDate, UpdateChecking, UpdateAvailable, UpdateDownloading, UpdateFailed>;

}  // namespace qz

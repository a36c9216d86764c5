#include "main/app_config.h"

#include "build_config.h"

namespace qz {

AppConfig build_app_config() {
    return AppConfig{APP_VERSION, CATALOG_BASE_URL, UPDATE_MANIFEST_URL, SIGNED_STREAM_HOST, SIGNED_STREAM_MARKER};
}

}  // namespace qz

#pragma once

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include <variant>

#include "update/ota_manifest.h"
#include "update/update_state.h"

namespace qz {

inline constexpr int UPDATE_EXIT_STATUS = 42;

inline constexpr const char* UPDATE_ERR_UNREACHABLE = "Update server unreachable. Please check your Wi-Fi connection.";
inline constexpr const char* UPDATE_ERR_INVALID_MANIFEST = "Invalid update manifest received from server";
inline constexpr const char* UPDATE_ERR_DOWNLOAD = "Failed to download update package";
inline constexpr const char* UPDATE_ERR_CHECKSUM = "Update package checksum mismatch";
inline constexpr const char* UPDATE_ERR_VERIFY = "Failed to verify update package";
inline constexpr const char* UPDATE_ERR_EXTRACT = "Failed to extract update package";

// The update server has nothing newer than the running version.
struct NoNewerVersion {
    bool operator==(const NoNewerVersion&) const = default;
};

using UpdateCheckResult = std::variant<OtaManifest, NoNewerVersion, std::string>;

struct UpdateCheckOptions {
    std::string manifest_url;  // the fall-back endpoint is fixed
    std::string current_version;
};

// Fetches the manifest (primary endpoint, then the loopback fall-back when the
// primary gives nothing) and compares versions. Blocks; logs as it goes.
UpdateCheckResult check_for_update(const UpdateCheckOptions& options);

struct UpdateInstallOptions {
    std::string download_url;
    std::string sha256;           // checked before unpacking when not empty
    std::string executable_path;  // empty: the running program's own path
    // Ends the process after a successful install; tests put a recorder here.
    std::function<void(int)> exit_process = [](int status) { std::_Exit(status); };
};

// Downloads, verifies and unpacks the package over the install target and
// marks its programs executable. nullopt on success, otherwise the error text.
// Does not end the process.
std::optional<std::string> install_update_package(const UpdateInstallOptions& options);

// The app directory when it exists, else the directory two levels above the
// executable (it lives in the app's "bin"), else the app directory anyway.
std::string choose_install_target(const std::string& app_dir, const std::string& executable_path);

// True while an install thread is at work; a second one is refused so two
// downloads never write the package file at once.
bool update_install_running();

using UpdateCheckDone = std::function<void(UpdateCheckResult)>;
// Reports each state of the install panel as it is reached.
using UpdateReport = std::function<void(UpdateState)>;

// Starts the check thread: it reports once and ends.
void start_update_check(UpdateCheckOptions options, UpdateCheckDone done);

// Starts the install thread unless one is already running (then false and
// nothing is reported). The thread reports Downloading, then either Failed
// or ends the process with status 42.
bool start_update_install(UpdateInstallOptions options, UpdateReport report);

// The two thread bodies, run on the calling thread (the install one does not
// take the running flag).
void run_update_check(const UpdateCheckOptions& options, const UpdateCheckDone& done);
void run_update_install(const UpdateInstallOptions& options, const UpdateReport& report);

}  // namespace qz

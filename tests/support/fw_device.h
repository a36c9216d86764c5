#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "support/env_guard.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace qz::test {

// A device root with the scripted firmware of tools/firmware installed:
// usr/bin/tplayerslave, usr/trimui/bin/systemval and
// usr/trimui/osd/show_volume_msg.sh under the root, and tinymix, amixer,
// pgrep and killall stand-ins first in PATH. While the object lives,
// QZ_DEVICE_ROOT points at the root and QZ_FAKE_FIRMWARE_LOG at a log file
// the stand-ins append to. For single-threaded tests (it sets environment
// variables).
class FwDevice {
public:
    FwDevice();
    FwDevice(const FwDevice&) = delete;
    FwDevice& operator=(const FwDevice&) = delete;

    const std::string& root() const { return dir_.path(); }
    // A path under the root, given without its leading "/".
    std::string path(const std::string& relative) const { return dir_ / relative; }
    // What the firmware stand-ins logged, one "program args" line each.
    std::string firmware_log() const;
    // What the scripted player logged ("args [...]", "cmd ...", "end ...").
    std::string player_log() const;

private:
    TempDir dir_;
    std::unique_ptr<EnvGuard> root_env_;
    std::unique_ptr<EnvGuard> path_env_;
    std::unique_ptr<EnvGuard> log_env_;
    std::unique_ptr<EnvGuard> player_log_env_;
};

// Polls the condition every 10 ms until it holds or the timeout passes.
bool fw_wait_until(const std::function<bool()>& condition,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace qz::test

#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "support/env_guard.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"

namespace qz::test {

// A device root with "/tmp" and the app directory, the test packages served by
// a loopback update server, and QZ_DEVICE_ROOT pointing at the root (put
// back, like PATH, when the object goes).
class UpdateDevice {
public:
    UpdateDevice();
    UpdateDevice(const UpdateDevice&) = delete;
    UpdateDevice& operator=(const UpdateDevice&) = delete;

    bool ready() const { return server_ != nullptr; }
    const std::string& root() const { return root_; }
    std::string app_dir() const { return root_ + "/mnt/SDCARD/Apps/qz-nuvalto"; }
    std::string package_file() const { return root_ + "/tmp/qz-nuvalto-update.zip"; }
    // Where the absolute entry of "absolute.zip" points (outside the root).
    std::string outside_abs() const { return dir_ / "outside/abs.txt"; }
    std::string url(const std::string& path) const { return server_->url(path); }
    std::string sha(const std::string& package) const;
    std::string path(const std::string& name) const { return dir_ / name; }

    // PATH holding only links to the real programs named, so a test can take one away.
    void restrict_path_to(std::initializer_list<const char*> programs);

private:
    TempDir dir_;
    std::string root_;
    std::unique_ptr<UpdateServer> server_;
    EnvGuard path_{"PATH"};
    EnvGuard device_root_{"QZ_DEVICE_ROOT"};
};

}  // namespace qz::test

#include "support/upd_device.h"

#include <stdlib.h>

#include <filesystem>

namespace qz::test {

namespace fs = std::filesystem;

UpdDevice::UpdDevice() {
    root_ = dir_ / "root";
    fs::create_directories(root_ + "/tmp");
    fs::create_directories(app_dir());
    upd_make_packages(dir_ / "srv/packages", outside_abs());
    server_ = UpdServer::start(dir_ / "srv");
    const char* path = ::getenv("PATH");
    saved_path_ = path ? path : "";
    ::setenv("QZ_DEVICE_ROOT", root_.c_str(), 1);
}

UpdDevice::~UpdDevice() {
    ::unsetenv("QZ_DEVICE_ROOT");
    ::setenv("PATH", saved_path_.c_str(), 1);
}

std::string UpdDevice::sha(const std::string& package) const {
    return upd_package_sha256(dir_ / "srv/packages", package);
}

void UpdDevice::restrict_path_to(std::initializer_list<const char*> programs) {
    const std::string bin = dir_ / "bin";
    fs::create_directories(bin);
    for (const char* name : programs) {
        for (const char* d : {"/usr/local/bin", "/usr/bin", "/bin"}) {
            const std::string real = std::string(d) + "/" + name;
            if (upd_exists(real)) {
                fs::create_symlink(real, bin + "/" + name);
                break;
            }
        }
    }
    ::setenv("PATH", bin.c_str(), 1);
}

}  // namespace qz::test

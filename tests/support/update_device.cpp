#include "support/update_device.h"

#include <filesystem>

#include "support/files.h"

namespace qz::test {

namespace fs = std::filesystem;

UpdateDevice::UpdateDevice() {
    root_ = dir_ / "root";
    make_dirs(root_ + "/tmp");
    make_dirs(app_dir());
    make_update_packages(dir_ / "srv/packages", outside_abs());
    server_ = UpdateServer::start(dir_ / "srv");
    device_root_.set(root_);
}

std::string UpdateDevice::sha(const std::string& package) const {
    return update_package_sha256(dir_ / "srv/packages", package);
}

void UpdateDevice::restrict_path_to(std::initializer_list<const char*> programs) {
    const std::string bin = dir_ / "bin";
    make_dirs(bin);
    for (const char* name : programs) {
        for (const char* d : {"/usr/local/bin", "/usr/bin", "/bin"}) {
            const std::string real = std::string(d) + "/" + name;
            if (path_exists(real)) {
                fs::create_symlink(real, bin + "/" + name);
                break;
            }
        }
    }
    path_.set(bin);
}

}  // namespace qz::test

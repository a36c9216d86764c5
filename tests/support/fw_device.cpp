#include "support/fw_device.h"


#include <cstdlib>
#include <filesystem>
#include <thread>

namespace qz::test {

namespace {

const std::string FIRMWARE_DIR = std::string(QZ_SOURCE_DIR) + "/tools/firmware";

void link_fake(const std::string& name, const std::string& target) {
    make_dirs(std::filesystem::path(target).parent_path());
    std::filesystem::create_symlink(FIRMWARE_DIR + "/" + name, target);
}

}  // namespace

FwDevice::FwDevice() {
    link_fake("tplayerslave", path("usr/bin/tplayerslave"));
    link_fake("systemval", path("usr/trimui/bin/systemval"));
    link_fake("show_volume_msg.sh", path("usr/trimui/osd/show_volume_msg.sh"));
    for (const char* tool : {"tinymix", "amixer", "pgrep", "killall"}) link_fake(tool, path("fake-bin/") + tool);
    make_dirs(path("tmp"));
    const char* old_path = std::getenv("PATH");
    root_env_ = std::make_unique<EnvGuard>("QZ_DEVICE_ROOT", root());
    path_env_ = std::make_unique<EnvGuard>("PATH", path("fake-bin") + ":" + (old_path ? old_path : ""));
    log_env_ = std::make_unique<EnvGuard>("QZ_FAKE_FIRMWARE_LOG", path("firmware.log"));
    player_log_env_ = std::make_unique<EnvGuard>("QZ_FAKE_PLAYER_LOG", path("player.log"));
}

std::string FwDevice::firmware_log() const { return read_file(path("firmware.log")); }

std::string FwDevice::player_log() const { return read_file(path("player.log")); }

bool fw_wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace qz::test

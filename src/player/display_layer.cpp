#include "player/display_layer.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/device_path.h"
#include "common/device_paths.h"
#include "common/log.h"
#include "common/unique_fd.h"

namespace qz {

namespace {

class LinuxDisplayDriver final : public DisplayDriver {
public:
    bool open(std::string& error) override {
        fd_.reset(::open(device_path(paths::DISPLAY).c_str(), O_RDWR | O_CLOEXEC));
        if (!fd_) {
            error = std::strerror(errno);
            return false;
        }
        return true;
    }
    int request(unsigned long number, DispArgs& args) override { return ::ioctl(fd_.get(), number, args.data()); }
    void close() override { fd_.reset(); }

private:
    UniqueFd fd_;
};

bool framebuffer_device_exists() {
    struct stat st{};
    return ::stat(device_path(paths::FRAMEBUFFER).c_str(), &st) == 0;
}

}  // namespace

LayerConfig framebuffer_layer_config() {
    LayerConfig config;
    const uint32_t channel = 1;
    for (size_t i = 0; i < 4; ++i) {
        config.bytes[LAYER_CHANNEL_OFFSET + i] = static_cast<uint8_t>(channel >> (8 * i));
    }
    return config;
}

DispArgs disp_args_for(LayerConfig& config) {
    return {0, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(config.bytes.data())), 1, 0};
}

void set_layer_transparency(bool enabled) {
    LinuxDisplayDriver driver;
    set_layer_transparency(enabled, driver);
}

void set_layer_transparency(bool enabled, DisplayDriver& driver) {
    // Without a framebuffer (desktop simulator) there is no display engine.
    if (!framebuffer_device_exists()) return;
    std::string error;
    if (!driver.open(error)) {
        log::player("Cannot open /dev/disp (" + error + "). Skipping display layer transparency.");
        return;
    }
    LayerConfig config = framebuffer_layer_config();
    DispArgs args = disp_args_for(config);
    if (driver.request(DISP_LAYER_GET_CONFIG, args) < 0) {
        log::player("/dev/disp DISP_LAYER_GET_CONFIG failed.");
    } else {
        const uint8_t mode = enabled ? ALPHA_MODE_PER_PIXEL : ALPHA_MODE_GLOBAL;
        config.bytes[LAYER_ALPHA_MODE_OFFSET] = mode;
        config.bytes[LAYER_ALPHA_VALUE_OFFSET] = 255;
        driver.request(DISP_LAYER_SET_CONFIG, args);
        log::player("/dev/disp Channel 1 alpha_mode set to " + std::to_string(mode));
    }
    driver.close();
}

}  // namespace qz

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qz {

// The Allwinner display driver's layer-configuration record, byte for byte.
inline constexpr size_t LAYER_CONFIG_SIZE = 184;
inline constexpr size_t LAYER_ALPHA_MODE_OFFSET = 5;
inline constexpr size_t LAYER_ALPHA_VALUE_OFFSET = 6;
inline constexpr size_t LAYER_CHANNEL_OFFSET = 172;
inline constexpr uint8_t ALPHA_MODE_PER_PIXEL = 0;
inline constexpr uint8_t ALPHA_MODE_GLOBAL = 1;
inline constexpr unsigned long DISP_LAYER_SET_CONFIG = 0x47;
inline constexpr unsigned long DISP_LAYER_GET_CONFIG = 0x48;

struct alignas(8) LayerConfig {
    std::array<uint8_t, LAYER_CONFIG_SIZE> bytes{};
};

// Screen index, record address, record count, 0.
using DispArgs = std::array<uint64_t, 4>;

// All zero except the little-endian u32 channel field, which names channel 1
// (layer 0 and screen 0 stay zero): the framebuffer's layer.
LayerConfig framebuffer_layer_config();
DispArgs disp_args_for(LayerConfig& config);

// "/dev/disp" behind a seam, so a test can see the exact bytes handed to the
// driver without the hardware.
class DisplayDriver {
public:
    virtual ~DisplayDriver() = default;
    // Opens the device read-write; on failure sets error to the system's text.
    virtual bool open(std::string& error) = 0;
    virtual int request(unsigned long number, DispArgs& args) = 0;
    virtual void close() = 0;
};

// Per-pixel alpha (enabled) lets a video under the framebuffer show through;
// disabled restores one opaque global alpha. Failures are logged, never
// reported: playback carries on either way. Does nothing without "/dev/fb0".
void set_layer_transparency(bool enabled);
void set_layer_transparency(bool enabled, DisplayDriver& driver);

}  // namespace qz

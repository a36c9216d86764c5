#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "graphics/framebuffer.h"

namespace qz::test {

// One run of qz-shot (the real start-up and main loop drawing into memory),
// under a device root of its own, with the frames it saved read back.
struct ShotsRequest {
    std::string catalog_url;
    std::string update_url;  // empty: the build's manifest URL
    uint32_t width = 1280;
    uint32_t height = 720;
    // Steps as qz-shot takes them; "shot:NAME" saves a frame named NAME
    // (no path, no extension) that frame(NAME) then returns.
    std::string script;
};

class ShotsRun {
public:
    // root: the device root (its app directory may hold history.json);
    // work: the working directory, the data directory without an app directory.
    ShotsRun(const std::string& root, const std::string& work) : root_(root), work_(work) {}

    // Runs qz-shot to its end; the final frame is frame("final"). Fails the
    // current test (and returns false) when the tool is missing, fails or
    // writes no readable frame. QZ_SCREEN_PNG_DIR keeps copies named after
    // the test and the frame.
    bool run(const ShotsRequest& request);

    // A frame saved by the last run; nullptr when there is none.
    const Framebuffer* frame(const std::string& name) const;
    const std::string& log() const { return log_; }

private:
    std::string root_;
    std::string work_;
    std::string log_;
    std::map<std::string, std::unique_ptr<Framebuffer>> frames_;
};

// Reads a PNG with an independent decoder; nullptr when it cannot.
std::unique_ptr<Framebuffer> shots_read_png(const std::string& path);
std::unique_ptr<Framebuffer> shots_decode_png(const std::string& bytes);

// The top-left w x h corner of a frame: a text that runs past a panel's right
// edge can be compared glyph for glyph up to that edge.
Framebuffer shots_crop(const Framebuffer& fb, uint32_t w, uint32_t h);

// What c becomes behind an overlay that keeps keep / 255 of each channel
// (rounded down), made opaque.
Color shots_dimmed(Color c, uint32_t keep);

}  // namespace qz::test

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/framebuffer.h"

namespace qz::shot {

struct Options {
    std::string mode;
    std::string mode_value;  // the argument of a mode that takes one (--catalog URL)
    uint32_t width = 1280;
    uint32_t height = 720;
    std::string out;
    bool rgba = false;
    std::string script;      // --script "STEP;STEP;..."
    std::string update_url;  // --update URL: manifest URL for this run
    std::vector<std::string_view> mode_args;  // arguments only the mode knows, in order
};

// Writes the back buffer to path as PNG; 0 on success, 1 with a message.
int save_png(const Framebuffer& fb, const std::string& path, bool rgba);
inline int save(const Framebuffer& fb, const Options& o) { return save_png(fb, o.out, o.rgba); }

int run_specimen(const Options& options);
int run_catalog(const Options& options);
int run_overlay(const Options& options);

}  // namespace qz::shot

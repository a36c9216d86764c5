#include "support/shots_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "support/bb_child.h"
#include "support/bb_fs.h"
#include "support/scr_pixels.h"

// An independent decoder for reading the screenshots back.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace qz::test {

namespace {

// "wait:10;shot:busy;B" -> "wait:10;shot:DIR/busy.png;B", collecting the names.
std::string expand_shots(const std::string& script, const std::string& dir, std::vector<std::string>& names) {
    std::string out;
    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find(';', start);
        if (end == std::string::npos) end = script.size();
        std::string step = script.substr(start, end - start);
        if (step.rfind("shot:", 0) == 0) {
            names.push_back(step.substr(5));
            step = "shot:" + dir + "/" + names.back() + ".png";
        }
        if (!step.empty()) out += (out.empty() ? "" : ";") + step;
        start = end + 1;
    }
    return out;
}

std::string test_name() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "_" + info->name() : "shot";
    for (char& ch : name) {
        if (ch == '/') ch = '_';
    }
    return name;
}

}  // namespace

bool ShotsRun::run(const ShotsRequest& request) {
    frames_.clear();
    const std::string program = std::string(QZ_BINARY_DIR) + "/qz-shot";
    if (!path_exists(program)) {
        ADD_FAILURE() << program << " is missing: build the qz-shot target";
        return false;
    }
    const std::string frames_dir = work_ + "/frames";
    make_dirs(frames_dir);
    std::vector<std::string> names;
    ChildOptions options;
    options.program = program;
    options.args = {"--catalog", request.catalog_url, "--size",
                    std::to_string(request.width) + "x" + std::to_string(request.height), "--script",
                    expand_shots(request.script, frames_dir, names), "--out", frames_dir + "/final.png"};
    if (!request.update_url.empty()) options.args.insert(options.args.end(), {"--update", request.update_url});
    names.push_back("final");
    options.env["QZ_DEVICE_ROOT"] = root_;
    options.cwd = work_;
    options.stderr_file = work_ + "/qz-shot.stderr";
    Child child(options);
    const std::optional<int> status = child.wait_exit(std::chrono::seconds(60));
    log_ = child.stderr_text();
    if (status != 0) {
        ADD_FAILURE() << "qz-shot ended with " << status.value_or(-1) << "\n" << log_;
        return false;
    }
    for (const std::string& name : names) {
        auto fb = shots_read_png(frames_dir + "/" + name + ".png");
        if (!fb || fb->width() != request.width || fb->height() != request.height) {
            ADD_FAILURE() << "frame " << name << " is missing or of the wrong size\n" << log_;
            return false;
        }
        scr_maybe_write_png(*fb, test_name() + "_" + name);
        frames_[name] = std::move(fb);
    }
    return true;
}

const Framebuffer* ShotsRun::frame(const std::string& name) const {
    auto found = frames_.find(name);
    return found == frames_.end() ? nullptr : found->second.get();
}

namespace {

// Rows and columns as stored; the alpha byte is dropped.
std::unique_ptr<Framebuffer> to_frame(stbi_uc* data, int w, int h) {
    if (data == nullptr) return nullptr;
    auto fb = std::make_unique<Framebuffer>(Framebuffer::in_memory(uint32_t(w), uint32_t(h)));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const stbi_uc* p = data + (size_t(y) * size_t(w) + size_t(x)) * 4;
            fb->at(uint32_t(x), uint32_t(y)) = 0xff000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    }
    stbi_image_free(data);
    return fb;
}

}  // namespace

std::unique_ptr<Framebuffer> shots_read_png(const std::string& path) {
    int w = 0, h = 0, channels = 0;
    stbi_uc* data = stbi_load(path.c_str(), &w, &h, &channels, 4);
    return to_frame(data, w, h);
}

std::unique_ptr<Framebuffer> shots_decode_png(const std::string& bytes) {
    int w = 0, h = 0, channels = 0;
    stbi_uc* data = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), int(bytes.size()), &w,
                                          &h, &channels, 4);
    return to_frame(data, w, h);
}

Framebuffer shots_crop(const Framebuffer& fb, uint32_t w, uint32_t h) {
    w = std::min(w, fb.width());
    h = std::min(h, fb.height());
    Framebuffer out = Framebuffer::in_memory(w, h);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) out.at(x, y) = fb.at(x, y);
    }
    return out;
}

Color shots_dimmed(Color c, uint32_t keep) {
    Color out = 0xff000000u;
    for (int shift = 0; shift <= 16; shift += 8) out |= (((c >> shift) & 0xffu) * keep / 255) << shift;
    return out;
}

}  // namespace qz::test

// qz-shot: renders what the program draws into an in-memory back buffer and
// writes it as a PNG file, for people to look at and for tests to probe.
//
//   qz-shot --specimen [--size WxH] --out FILE.png [--rgba]
//   qz-shot --catalog URL [--update URL] [--size WxH] [--script "STEP;..."] --out FILE.png
//   qz-shot --overlay [--size WxH] --title T --label L --position-ms P --duration-ms D [--paused]
//           [--message TEXT] [--over IMAGE] --out FILE.png
//
// Each mode is one entry of MODES; the options are shared by all of them.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "graphics/png_writer.h"
#include "shot.h"

namespace qz::shot {
namespace {

struct Mode {
    std::string_view flag;
    bool takes_value;
    std::string_view summary;
    int (*run)(const Options&);
    bool own_options = false;  // unknown arguments go to the mode in Options::mode_args
};

constexpr Mode MODES[] = {
    {"--specimen", false, "every interface text at its size and each drawing primitive", run_specimen},
    {"--catalog", true, "the real program against the catalog at URL, driven by --script", run_catalog},
    {"--overlay", false, "one playback overlay frame with its alpha; its own options: --title T --label L\n"
                  "                  --position-ms P --duration-ms D [--paused] [--message TEXT] [--over IMAGE]", run_overlay, true},
};

constexpr uint32_t MAX_SIDE = 16384;

void print_usage(FILE* to) {
    std::fprintf(to, "usage: qz-shot MODE [--size WxH] [--script STEPS] --out FILE.png [--rgba]\nmodes:\n");
    for (const Mode& m : MODES) {
        std::fprintf(to, "  %-12.*s%s %.*s\n", int(m.flag.size()), m.flag.data(), m.takes_value ? " URL" : "    ",
                     int(m.summary.size()), m.summary.data());
    }
    std::fprintf(to,
                 "options:\n  --size WxH   back buffer size, default 1280x720\n"
                 "  --out FILE   PNG file to write after the script\n  --rgba       keep the alpha byte (default RGB)\n"
                 "  --script S   steps separated by ';': a button (Up Down Left Right A B X Y L1 R1 L2 R2\n"
                 "               Select Start Menu), wait:MS (run the loop MS ms), shot:FILE.png\n"
                 "  --update URL update manifest URL for this run (--catalog)\n");
}

bool parse_side(std::string_view text, uint32_t& out) {
    if (text.empty() || text.size() > 5) return false;
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + uint32_t(c - '0');
    }
    if (v == 0 || v > MAX_SIDE) return false;
    out = v;
    return true;
}

bool parse_size(std::string_view text, Options& o) {
    const size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    return parse_side(text.substr(0, x), o.width) && parse_side(text.substr(x + 1), o.height);
}

const Mode* find_mode(std::string_view flag) {
    for (const Mode& m : MODES) {
        if (m.flag == flag) return &m;
    }
    return nullptr;
}

// Options, or the reason the command line is refused.
std::variant<Options, std::string> parse_args(const std::vector<std::string_view>& args) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        const bool has_value = i + 1 < args.size();
        if (const Mode* m = find_mode(a)) {
            if (!o.mode.empty()) return "only one mode at a time (" + o.mode + " and " + std::string(a) + ")";
            o.mode = a;
            if (m->takes_value) {
                if (!has_value || args[i + 1].empty()) return std::string(a) + " needs a value";
                o.mode_value = args[++i];
            }
        } else if (a == "--size") {
            if (!has_value || !parse_size(args[++i], o))
                return "--size needs WxH, each side 1 to " + std::to_string(MAX_SIDE);
        } else if (a == "--out") {
            if (!has_value || args[i + 1].empty()) return "--out needs a file name";
            o.out = args[++i];
        } else if (a == "--script") {
            if (!has_value) return "--script needs steps";
            o.script = args[++i];
        } else if (a == "--update") {
            if (!has_value || args[i + 1].empty()) return "--update needs a URL";
            o.update_url = args[++i];
        } else if (a == "--rgba") {
            o.rgba = true;
        } else {
            o.mode_args.push_back(a);
        }
    }
    if (o.mode.empty()) return std::string("no mode given");
    if (!o.mode_args.empty() && !find_mode(o.mode)->own_options)
        return "unknown argument: " + std::string(o.mode_args.front());
    if (o.out.empty()) return std::string("--out FILE is required");
    return o;
}

}  // namespace

int save_png(const Framebuffer& fb, const std::string& path, bool rgba) {
    const PngWriteResult r = write_png(path, fb, rgba ? PngChannels::Rgba : PngChannels::Rgb);
    if (!r.ok()) {
        std::fprintf(stderr, "qz-shot: %s\n", r.error.c_str());
        return 1;
    }
    std::fprintf(stderr, "qz-shot: wrote %s (%ux%u)\n", path.c_str(), fb.width(), fb.height());
    return 0;
}

}  // namespace qz::shot

int main(int argc, char** argv) {
    using namespace qz::shot;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::string_view a : args) {
        if (a == "--help" || a == "-h") {
            print_usage(stdout);
            return 0;
        }
    }
    auto parsed = parse_args(args);
    if (const std::string* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "qz-shot: %s\n", error->c_str());
        print_usage(stderr);
        return 2;
    }
    const Options& options = std::get<Options>(parsed);
    return find_mode(options.mode)->run(options);
}

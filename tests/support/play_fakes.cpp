#include "support/play_fakes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace qz::test {

namespace {

std::string search(const std::string& path_list, const std::string& program) {
    std::stringstream dirs(path_list);
    for (std::string dir; std::getline(dirs, dir, ':');) {
        std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

}  // namespace

PlayFakes::PlayFakes() : original_path_(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin") {
    make_dirs(dir_ / "root");
    make_dirs(bin());
    make_dirs(home());
    link_real("sh");
}

void PlayFakes::write_fake(const std::string& path, const std::string& logged_name, int exit_code) {
    // Builtins only (the search path holds nothing but bin()), and the line
    // goes out in one write, so fakes running at the same time never mix.
    write_file(path, "#!/bin/sh\nline='" + logged_name + "'\nfor a in \"$@\"; do line=\"$line $a\"; done\n" +
                         "printf '%s\\n' \"$line\" >> '" + log_path_ + "'\nexit " + std::to_string(exit_code) + "\n");
    ::chmod(path.c_str(), 0755);
}

void PlayFakes::add_program(const std::string& name, int exit_code) { write_fake(bin() + "/" + name, name, exit_code); }

void PlayFakes::add_device_program(const std::string& absolute_path, int exit_code) {
    write_fake(root(absolute_path), absolute_path, exit_code);
}

void PlayFakes::link_real(const std::string& name) {
    std::string real = search(original_path_, name);
    if (real.empty() || ::symlink(real.c_str(), (bin() + "/" + name).c_str()) != 0) {
        throw std::runtime_error("cannot link " + name + " from the search path");
    }
}

std::vector<std::string> PlayFakes::log() const {
    std::vector<std::string> lines;
    std::stringstream text(read_file(log_path_));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

void PlayFakes::clear_log() { ::unlink(log_path_.c_str()); }

bool PlayFakes::wait_for_line(const std::string& line, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (const auto& l : log()) {
            if (l == line) return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace qz::test

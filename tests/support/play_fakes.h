#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "support/env_guard.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace qz::test {

// A device root, a home folder and a bin folder that is the whole search
// path, in one temporary folder. Fake programs append one line
// "{name} {arguments}" to a shared log and exit; real programs a test needs
// (sh, curl) are linked in from the search path the test started with, so
// nothing of the machine is found by accident (an installed mpv, the real
// tinymix).
class PlayFakes {
public:
    PlayFakes();
    PlayFakes(const PlayFakes&) = delete;
    PlayFakes& operator=(const PlayFakes&) = delete;

    // A device path ("/tmp/btdev_addr") under the root.
    std::string root(const std::string& absolute_path) const { return dir_.path() + "/root" + absolute_path; }
    std::string home() const { return dir_ / "home"; }
    std::string bin() const { return dir_ / "bin"; }

    // A fake found through the search path; it logs under its name.
    void add_program(const std::string& name, int exit_code = 0);
    // A fake at a device path under the root; it logs under that path.
    void add_device_program(const std::string& absolute_path, int exit_code = 0);
    // The real program of the starting search path, linked into bin().
    void link_real(const std::string& name);

    std::vector<std::string> log() const;
    void clear_log();
    // Waits for a fake started in the background to log line.
    bool wait_for_line(const std::string& line, std::chrono::milliseconds timeout) const;

private:
    void write_fake(const std::string& path, const std::string& logged_name, int exit_code);

    std::string original_path_;
    TempDir dir_;
    std::string log_path_ = dir_ / "commands.log";
    EnvGuard device_root_{"QZ_DEVICE_ROOT", dir_ / "root"};
    EnvGuard path_{"PATH", dir_ / "bin"};
    EnvGuard home_{"HOME", dir_ / "home"};
};

}  // namespace qz::test

#pragma once

#include <sys/types.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "graphics/framebuffer.h"
#include "support/evdev_fifo.h"

namespace qz::test {

// Running the real executables (qz-nuvalto, qz-shot) of this build tree as
// child processes under a device root of the test's own.

struct ChildOptions {
    std::string program;
    std::vector<std::string> args;  // without the program name
    // Set on top of this process's environment; a nullopt value removes the
    // variable. QZ_DEVICE_ROOT, TRIMUI_DEVICE and TRIMUI_SIMULATOR are always
    // cleared first, so the host's settings never leak into a test.
    std::map<std::string, std::optional<std::string>> env;
    std::string cwd;           // empty: inherit
    std::string stderr_file;   // required: where the child's standard error goes
    std::optional<unsigned long long> stack_limit;  // RLIMIT_STACK in bytes
};

// A started child process. The destructor kills (SIGKILL) and reaps it when
// it is still running, so a failed test never leaves it behind.
class Child {
public:
    explicit Child(const ChildOptions& options);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    // The exit status once the child exited normally within the timeout;
    // nullopt when it is still running (or died by a signal: see signalled()).
    std::optional<int> wait_exit(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool running();
    bool signalled() const { return signalled_; }
    // Polls the stderr file until it contains needle.
    bool wait_for_stderr(const std::string& needle, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::string stderr_text() const;
    void kill();

private:
    bool reap(bool block);

    pid_t pid_ = -1;
    bool exited_ = false;
    bool signalled_ = false;
    int status_ = 0;
    std::string stderr_file_;
};

// The program under test and the screenshot tool, from this build tree.
std::string program_path();
std::string shot_program_path();

// Options that run program with dir/root as its device root, dir/work as its
// working directory and its standard error in dir/{stderr_name}.
ChildOptions options_under_root(const std::string& program, const std::string& dir,
                                const std::string& stderr_name = "stderr.txt");

// Starts the child with a stale B press waiting in every node and succeeds
// once its start-up flush took them all and it still runs (the press was
// dropped, not acted on): from then on presses reach the main loop.
testing::AssertionResult start_past_flush(std::unique_ptr<Child>& child, const ChildOptions& options,
                                          const AppEventFifos& fifos);

// Number of times needle occurs in text.
size_t count_of(const std::string& text, const std::string& needle);

// The two screen sizes the program draws at.
struct ScreenProfile {
    const char* name;
    uint32_t width;
    uint32_t height;
};
inline constexpr ScreenProfile SCREEN_PROFILES[] = {{"Standard", 1280, 720}, {"Brick", 1024, 768}};
inline void PrintTo(const ScreenProfile& p, std::ostream* os) { *os << p.name; }

// One run of qz-shot (the real start-up and main loop drawing into memory).
struct ShotRequest {
    std::string catalog_url;
    std::string update_url;  // empty: the build's manifest URL
    uint32_t width = 1280;
    uint32_t height = 720;
    // Steps as qz-shot takes them; "shot:NAME" saves a frame named NAME
    // (no path, no extension) that frame(NAME) then returns.
    std::string script;
};

// qz-shot under a device root of its own, with the frames it saved read back.
class ShotRun {
public:
    // root: the device root (its app directory may hold history.json);
    // work: the working directory, the data directory without an app directory.
    ShotRun(const std::string& root, const std::string& work) : root_(root), work_(work) {}

    // Runs qz-shot to its end; the final frame is frame("final"). Fails the
    // current test (and returns false) when the tool is missing, fails or
    // writes no readable frame. QZ_SCREEN_PNG_DIR keeps copies named after
    // the test and the frame.
    bool run(const ShotRequest& request);

    // A frame saved by the last run; nullptr when there is none.
    const Framebuffer* frame(const std::string& name) const;
    const std::string& log() const { return log_; }

private:
    std::string root_;
    std::string work_;
    std::string log_;
    std::map<std::string, std::unique_ptr<Framebuffer>> frames_;
};

}  // namespace qz::test

#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qz::test {

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

// The program under test, from this build tree.
std::string program_path();

// Number of times needle occurs in text.
size_t count_of(const std::string& text, const std::string& needle);

}  // namespace qz::test

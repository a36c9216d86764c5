#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <utility>
#include <vector>

#include "common/unique_fd.h"

namespace qz {

// What a captured run collected. status is the raw wait status: 0 only when
// the child exited normally with code 0.
struct CommandOutput {
    int status = -1;
    std::string stdout_data;
    std::string stderr_data;
    bool ok() const { return status == 0; }
};

// The operating system's description of why a program could not be started.
struct SpawnError {
    std::string message;
};

// A started child: owns the process (killed and reaped on destruction if the
// caller did neither) and, for spawn_piped, the read end of its stdout.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(pid_t pid, UniqueFd stdout_fd) : pid_(pid), stdout_(std::move(stdout_fd)) {}
    ChildProcess(ChildProcess&& o) noexcept;
    ChildProcess& operator=(ChildProcess&& o) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return pid_; }
    int stdout_fd() const { return stdout_.get(); }
    // Reads up to len bytes of the child's stdout; 0 at end of file, -1 on error.
    ssize_t read_some(char* buf, size_t len);
    // Blocks until the child exits; returns the raw wait status.
    int wait();
    // The wait status when the child has exited (reaping it), nullopt while it
    // still runs. Never blocks.
    std::optional<int> try_wait();
    // Sends the signal (no-op when already reaped).
    void kill(int signal);
    // Closes the read end of stdout early (a relay that stops reading).
    void close_stdout();
    bool reaped() const { return reaped_; }

private:
    void release() noexcept;

    pid_t pid_ = -1;
    UniqueFd stdout_;
    bool reaped_ = false;
    int status_ = -1;
};

using RunCaptureResult = std::variant<CommandOutput, SpawnError>;
using RunWaitResult = std::variant<int, SpawnError>;
using SpawnResult = std::variant<ChildProcess, SpawnError>;

// stdin empty, stdout and stderr drained together, then reaped.
RunCaptureResult run_capture(const std::string& program, const std::vector<std::string>& args);
// Inherits all three streams and waits; returns the raw wait status.
RunWaitResult run_wait(const std::string& program, const std::vector<std::string>& args);
// stdin inherited, stdout piped to the caller, stderr to the null device.
SpawnResult spawn_piped(const std::string& program, const std::vector<std::string>& args);
// All three streams inherited; the caller owns the running child.
SpawnResult spawn_inherit(const std::string& program, const std::vector<std::string>& args);
// "/bin/sh" "-c" command_line, all streams inherited.
SpawnResult spawn_shell(const std::string& command_line);

}  // namespace qz

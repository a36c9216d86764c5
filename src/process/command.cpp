#include "process/command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/unique_fd.h"

namespace qz {

namespace {

std::string errno_text(int err) {
    char buf[256];
    // GNU strerror_r: thread-safe, returns the text (maybe a static string).
    return std::string(strerror_r(err, buf, sizeof buf));
}

struct Pipe {
    UniqueFd read_end;
    UniqueFd write_end;
};

// Both ends close on exec, so no other child started at the same moment by
// another thread can inherit them (that would keep our reads from ever
// seeing end of file).
bool make_pipe(Pipe& p, int& err) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        err = errno;
        return false;
    }
    p.read_end = UniqueFd(fds[0]);
    p.write_end = UniqueFd(fds[1]);
    return true;
}

enum class Stream { Inherit, Null, Pipe };

struct StdioPlan {
    Stream in = Stream::Inherit;
    Stream out = Stream::Inherit;
    Stream err = Stream::Inherit;
};

struct Spawned {
    pid_t pid = -1;
    UniqueFd out;  // read end of the child's stdout, when piped
    UniqueFd err;  // read end of the child's stderr, when piped
};

class FileActions {
public:
    FileActions() { ok_ = posix_spawn_file_actions_init(&fa_) == 0; }
    ~FileActions() {
        if (ok_) posix_spawn_file_actions_destroy(&fa_);
    }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &fa_; }
    bool ok() const { return ok_; }

private:
    posix_spawn_file_actions_t fa_;
    bool ok_ = false;
};

class SpawnAttr {
public:
    SpawnAttr() { ok_ = posix_spawnattr_init(&attr_) == 0; }
    ~SpawnAttr() {
        if (ok_) posix_spawnattr_destroy(&attr_);
    }
    SpawnAttr(const SpawnAttr&) = delete;
    SpawnAttr& operator=(const SpawnAttr&) = delete;
    posix_spawnattr_t* get() { return &attr_; }
    bool ok() const { return ok_; }

private:
    posix_spawnattr_t attr_;
    bool ok_ = false;
};

// Adds the action for one standard stream; pipe is the one to connect when
// the plan says Pipe.
int add_stream(posix_spawn_file_actions_t* fa, int target, Stream kind, const Pipe& pipe) {
    switch (kind) {
        case Stream::Inherit:
            return 0;
        case Stream::Null:
            return posix_spawn_file_actions_addopen(fa, target, "/dev/null", target == 0 ? O_RDONLY : O_WRONLY, 0);
        case Stream::Pipe:
            return posix_spawn_file_actions_adddup2(fa, pipe.write_end.get(), target);
    }
    return 0;
}

// The child gets a clean signal mask and the default SIGPIPE action: a
// process that ignores SIGPIPE for its own sockets must not hand that on.
int prepare_attr(SpawnAttr& attr) {
    sigset_t empty;
    sigemptyset(&empty);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    int rc = posix_spawnattr_setflags(attr.get(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (rc == 0) rc = posix_spawnattr_setsigmask(attr.get(), &empty);
    if (rc == 0) rc = posix_spawnattr_setsigdefault(attr.get(), &defaults);
    return rc;
}

// Starts program (looked up through PATH when it has no slash). The error of
// a failed exec comes back from posix_spawnp itself (glibc reports it through
// its own close-on-exec channel), so a missing program is a SpawnError here.
std::variant<Spawned, SpawnError> spawn(const std::string& program, const std::vector<std::string>& args,
                                        StdioPlan plan) {
    int err = 0;
    Pipe out_pipe;
    Pipe err_pipe;
    if (plan.out == Stream::Pipe && !make_pipe(out_pipe, err)) return SpawnError{errno_text(err)};
    if (plan.err == Stream::Pipe && !make_pipe(err_pipe, err)) return SpawnError{errno_text(err)};

    FileActions fa;
    SpawnAttr attr;
    if (!fa.ok() || !attr.ok()) return SpawnError{errno_text(ENOMEM)};
    int rc = add_stream(fa.get(), 0, plan.in, Pipe{});
    if (rc == 0) rc = add_stream(fa.get(), 1, plan.out, out_pipe);
    if (rc == 0) rc = add_stream(fa.get(), 2, plan.err, err_pipe);
    // Descriptors opened elsewhere in the program without close-on-exec
    // (another module, a library) must not leak into the child either.
    if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(fa.get(), 3);
    if (rc == 0) rc = prepare_attr(attr);
    if (rc != 0) return SpawnError{errno_text(rc)};

    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    rc = posix_spawnp(&pid, program.c_str(), fa.get(), attr.get(), argv.data(), environ);
    if (rc != 0) return SpawnError{errno_text(rc)};

    Spawned s;
    s.pid = pid;
    s.out = std::move(out_pipe.read_end);
    s.err = std::move(err_pipe.read_end);
    // The write ends close here, so our reads see end of file once the child
    // (and anything it handed its stdout to) is done.
    return s;
}

// Waits for pid, retrying on signals; -1 when it cannot be waited for.
int wait_status(pid_t pid) {
    int status = 0;
    for (;;) {
        pid_t r = ::waitpid(pid, &status, 0);
        if (r == pid) return status;
        if (r < 0 && errno == EINTR) continue;
        return -1;
    }
}

// Reads both pipes at the same time until both reach end of file, so a child
// that floods one of them never stalls on a full pipe.
void drain_two(UniqueFd& out_fd, UniqueFd& err_fd, std::string& out, std::string& err) {
    char buf[65536];
    pollfd fds[2] = {{out_fd.get(), POLLIN, 0}, {err_fd.get(), POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    UniqueFd* owners[2] = {&out_fd, &err_fd};
    int open_count = 2;
    while (open_count > 0) {
        int n = ::poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                sinks[i]->append(buf, static_cast<size_t>(got));
            } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                owners[i]->reset();
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    // Closing what is left makes a child still writing get SIGPIPE instead of
    // blocking forever (only after a poll failure).
    out_fd.reset();
    err_fd.reset();
}

}  // namespace

RunCaptureResult run_capture(const std::string& program, const std::vector<std::string>& args) {
    auto spawned = spawn(program, args, {Stream::Null, Stream::Pipe, Stream::Pipe});
    if (auto* e = std::get_if<SpawnError>(&spawned)) return *e;
    auto& s = std::get<Spawned>(spawned);
    CommandOutput result;
    drain_two(s.out, s.err, result.stdout_data, result.stderr_data);
    result.status = wait_status(s.pid);
    return result;
}

RunWaitResult run_wait(const std::string& program, const std::vector<std::string>& args) {
    auto spawned = spawn(program, args, {});
    if (auto* e = std::get_if<SpawnError>(&spawned)) return *e;
    return wait_status(std::get<Spawned>(spawned).pid);
}

SpawnResult spawn_piped(const std::string& program, const std::vector<std::string>& args) {
    auto spawned = spawn(program, args, {Stream::Inherit, Stream::Pipe, Stream::Null});
    if (auto* e = std::get_if<SpawnError>(&spawned)) return *e;
    auto& s = std::get<Spawned>(spawned);
    return ChildProcess(s.pid, std::move(s.out));
}

SpawnResult spawn_inherit(const std::string& program, const std::vector<std::string>& args) {
    auto spawned = spawn(program, args, {});
    if (auto* e = std::get_if<SpawnError>(&spawned)) return *e;
    return ChildProcess(std::get<Spawned>(spawned).pid, UniqueFd());
}

SpawnResult spawn_shell(const std::string& command_line) { return spawn_inherit("/bin/sh", {"-c", command_line}); }

ChildProcess::ChildProcess(ChildProcess&& o) noexcept
    : pid_(std::exchange(o.pid_, -1)),
      stdout_(std::move(o.stdout_)),
      reaped_(std::exchange(o.reaped_, false)),
      status_(std::exchange(o.status_, -1)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& o) noexcept {
    if (this != &o) {
        release();
        pid_ = std::exchange(o.pid_, -1);
        stdout_ = std::move(o.stdout_);
        reaped_ = std::exchange(o.reaped_, false);
        status_ = std::exchange(o.status_, -1);
    }
    return *this;
}

ChildProcess::~ChildProcess() { release(); }

void ChildProcess::release() noexcept {
    close_stdout();
    if (pid_ > 0 && !reaped_) {
        // An abandoned child is stopped, never left running or as a zombie.
        ::kill(pid_, SIGKILL);
        wait_status(pid_);
        reaped_ = true;
    }
    pid_ = -1;
}

ssize_t ChildProcess::read_some(char* buf, size_t len) {
    if (!stdout_) return -1;
    for (;;) {
        ssize_t n = ::read(stdout_.get(), buf, len);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

int ChildProcess::wait() {
    if (pid_ <= 0) return -1;
    if (!reaped_) {
        status_ = wait_status(pid_);
        reaped_ = true;
    }
    return status_;
}

std::optional<int> ChildProcess::try_wait() {
    if (pid_ <= 0) return -1;
    if (reaped_) return status_;
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == 0) return std::nullopt;
        if (r < 0 && errno == EINTR) continue;
        reaped_ = true;
        status_ = r == pid_ ? status : -1;
        return status_;
    }
}

void ChildProcess::kill(int signal) {
    // Only while unreaped: after reaping, the pid may belong to someone else.
    if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

void ChildProcess::close_stdout() { stdout_.reset(); }

}  // namespace qz

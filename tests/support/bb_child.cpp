#include "support/bb_child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "support/bb_fs.h"

extern char** environ;

namespace qz::test {

namespace {

const char* const CLEARED_VARIABLES[] = {"QZ_DEVICE_ROOT", "TRIMUI_DEVICE", "TRIMUI_SIMULATOR"};

std::vector<std::string> child_environment(const ChildOptions& options) {
    std::map<std::string, std::optional<std::string>> vars;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry(*e);
        size_t eq = entry.find('=');
        if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const char* name : CLEARED_VARIABLES) vars.erase(name);
    for (const auto& [name, value] : options.env) vars[name] = value;
    std::vector<std::string> out;
    for (const auto& [name, value] : vars) {
        if (value) out.push_back(name + "=" + *value);
    }
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

std::string program_path() { return std::string(QZ_BINARY_DIR) + "/qz-nuvalto"; }

size_t count_of(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + needle.size())) ++n;
    return n;
}

Child::Child(const ChildOptions& options) : stderr_file_(options.stderr_file) {
    if (stderr_file_.empty()) throw std::runtime_error("Child needs a stderr file");
    std::vector<std::string> argv_strings{options.program};
    argv_strings.insert(argv_strings.end(), options.args.begin(), options.args.end());
    std::vector<std::string> env_strings = child_environment(options);
    std::vector<char*> argv = pointers(argv_strings);
    std::vector<char*> envp = pointers(env_strings);
    int err_fd = ::open(stderr_file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (err_fd < 0 || null_fd < 0) throw std::runtime_error("cannot open child descriptors");

    pid_ = ::fork();
    if (pid_ == 0) {
        // Only async-signal-safe calls from here on.
        ::dup2(null_fd, STDIN_FILENO);
        ::dup2(null_fd, STDOUT_FILENO);
        ::dup2(err_fd, STDERR_FILENO);
        if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) ::_exit(126);
        if (options.stack_limit) {
            rlimit lim{*options.stack_limit, *options.stack_limit};
            if (::setrlimit(RLIMIT_STACK, &lim) != 0) ::_exit(125);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(err_fd);
    ::close(null_fd);
    if (pid_ < 0) throw std::runtime_error("fork failed");
}

Child::~Child() { kill(); }

void Child::kill() {
    if (pid_ <= 0 || exited_) return;
    ::kill(pid_, SIGKILL);
    reap(true);
}

bool Child::reap(bool block) {
    if (exited_) return true;
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (r != pid_) return false;
    exited_ = true;
    signalled_ = WIFSIGNALED(status);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

bool Child::running() { return !reap(false); }

std::optional<int> Child::wait_exit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (signalled_) return std::nullopt;
    return status_;
}

bool Child::wait_for_stderr(const std::string& needle, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (stderr_text().find(needle) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string Child::stderr_text() const { return read_file(stderr_file_); }

}  // namespace qz::test

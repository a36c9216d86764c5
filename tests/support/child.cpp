#include "support/child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "support/files.h"
#include "support/pixel_probe.h"

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

std::string shot_program_path() { return std::string(QZ_BINARY_DIR) + "/qz-shot"; }

ChildOptions options_under_root(const std::string& program, const std::string& dir, const std::string& stderr_name) {
    ChildOptions options;
    options.program = program;
    options.env["QZ_DEVICE_ROOT"] = dir + "/root";
    options.cwd = dir + "/work";
    options.stderr_file = dir + "/" + stderr_name;
    return options;
}

testing::AssertionResult start_past_flush(std::unique_ptr<Child>& child, const ChildOptions& options,
                                          const AppEventFifos& fifos) {
    constexpr uint16_t BTN_SOUTH = 304;
    for (const auto& f : fifos) {
        if (f) f->press(BTN_SOUTH);
    }
    child = std::make_unique<Child>(options);
    for (const auto& f : fifos) {
        if (f && !f->wait_drained()) {
            return testing::AssertionFailure() << f->path() << " was not read\n" << child->stderr_text();
        }
    }
    // Long enough to tell "ignored" from "not yet handled" on a loaded machine.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (!child->running()) {
        return testing::AssertionFailure() << "a press made before start-up was acted on\n" << child->stderr_text();
    }
    return testing::AssertionSuccess();
}

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

bool ShotRun::run(const ShotRequest& request) {
    frames_.clear();
    const std::string program = shot_program_path();
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
        auto fb = read_png_frame(frames_dir + "/" + name + ".png");
        if (!fb || fb->width() != request.width || fb->height() != request.height) {
            ADD_FAILURE() << "frame " << name << " is missing or of the wrong size\n" << log_;
            return false;
        }
        maybe_write_png(*fb, test_name() + "_" + name);
        frames_[name] = std::move(fb);
    }
    return true;
}

const Framebuffer* ShotRun::frame(const std::string& name) const {
    auto found = frames_.find(name);
    return found == frames_.end() ? nullptr : found->second.get();
}

}  // namespace qz::test

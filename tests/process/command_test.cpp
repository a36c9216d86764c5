// ctest-labels: threads
#include "process/command.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "support/env_guard.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

CommandOutput capture_ok(const std::string& program, const std::vector<std::string>& args) {
    auto r = run_capture(program, args);
    if (auto* e = std::get_if<SpawnError>(&r)) {
        ADD_FAILURE() << "spawn failed: " << e->message;
        return {};
    }
    return std::get<CommandOutput>(r);
}

CommandOutput sh(const std::string& script) { return capture_ok("sh", {"-c", script}); }

std::set<std::string> lines_of(const std::string& text) {
    std::set<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.insert(l);
    return out;
}

class RunCaptureExit : public ::testing::TestWithParam<int> {};

TEST_P(RunCaptureExit, StatusAndBothStreamsAreKeptApart) {
    int code = GetParam();
    auto out = sh("printf 'to out'; printf 'to err' >&2; exit " + std::to_string(code));
    EXPECT_EQ(out.stdout_data, "to out");
    EXPECT_EQ(out.stderr_data, "to err");
    ASSERT_TRUE(WIFEXITED(out.status));
    EXPECT_EQ(WEXITSTATUS(out.status), code);
    EXPECT_EQ(out.ok(), code == 0);
}

INSTANTIATE_TEST_SUITE_P(Codes, RunCaptureExit, ::testing::Values(0, 1, 7, 255));

TEST(RunCapture, DeathBySignalIsAFailure) {
    auto out = sh("printf partial; kill -KILL $$");
    EXPECT_EQ(out.stdout_data, "partial");
    ASSERT_TRUE(WIFSIGNALED(out.status));
    EXPECT_EQ(WTERMSIG(out.status), SIGKILL);
    EXPECT_FALSE(out.ok());
}

TEST(RunCapture, FloodOnStderrDoesNotStallSmallStdout) {
    // Far beyond a pipe's 64 KiB buffer: reading stdout alone would deadlock.
    auto start = Clock::now();
    auto out = sh("head -c 6000000 /dev/zero >&2; printf body; head -c 3000000 /dev/zero >&2");
    EXPECT_EQ(out.stdout_data, "body");
    EXPECT_EQ(out.stderr_data.size(), 9000000u);
    EXPECT_TRUE(out.ok());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
}

TEST(RunCapture, LargeStdoutIsCollectedWholeAndInOrder) {
    auto out = sh("i=0; while [ $i -lt 20000 ]; do echo line$i; i=$((i+1)); done; seq 1 100000 >&2");
    std::istringstream in(out.stdout_data);
    std::string l;
    int n = 0;
    bool in_order = true;
    while (std::getline(in, l)) in_order = in_order && l == "line" + std::to_string(n++);
    EXPECT_EQ(n, 20000);
    EXPECT_TRUE(in_order);
    EXPECT_EQ(std::count(out.stderr_data.begin(), out.stderr_data.end(), '\n'), 100000);
}

TEST(RunCapture, StdinIsTheNullDevice) {
    // Even when our own stdin is a pipe that never ends, the child reads end
    // of file at once.
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    int saved = ::dup(0);
    ::dup2(p[0], 0);
    auto out = sh("readlink /proc/self/fd/0; cat; echo end");
    ::dup2(saved, 0);
    ::close(saved);
    ::close(p[0]);
    ::close(p[1]);
    EXPECT_EQ(out.stdout_data, "/dev/null\nend\n");
}

TEST(RunCapture, ArgumentsArePassedVerbatimWithoutAShell) {
    std::vector<std::string> args = {"-c", "for a in \"$@\"; do printf '[%s]' \"$a\"; done", "sh",
                                     "two words", "", "$HOME", "a'b\"c", "-d", "*"};
    auto out = capture_ok("sh", args);
    EXPECT_EQ(out.stdout_data, "[two words][][$HOME][a'b\"c][-d][*]");
}

struct MissingCase {
    const char* name;
    std::string program;  // "@x": the file x of the fixture folder
    std::string message;
};

void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.name; }

// A file without execute permission and one that is executable but no
// program at all.
class RunCaptureMissing : public ::testing::TestWithParam<MissingCase> {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<test::TempDir>();
        test::write_file(*dir_ / "plain", "#!/bin/sh\necho hi\n");
        fs::permissions(*dir_ / "plain", fs::perms::owner_read | fs::perms::owner_write);
        test::write_file(*dir_ / "garbage", "vm\n");
        fs::permissions(*dir_ / "garbage", fs::perms::owner_all);
    }
    static void TearDownTestSuite() { dir_.reset(); }
    static std::string resolve(const std::string& p) { return p[0] == '@' ? *dir_ / p.substr(1) : p; }
    static std::unique_ptr<test::TempDir> dir_;
};
std::unique_ptr<test::TempDir> RunCaptureMissing::dir_;

TEST_P(RunCaptureMissing, ReportsTheSystemDescription) {
    const auto& c = GetParam();
    std::string program = resolve(c.program);
    auto r = run_capture(program, {"x"});
    ASSERT_TRUE(std::holds_alternative<SpawnError>(r));
    EXPECT_EQ(std::get<SpawnError>(r).message, c.message);
    auto w = run_wait(program, {});
    ASSERT_TRUE(std::holds_alternative<SpawnError>(w));
    EXPECT_EQ(std::get<SpawnError>(w).message, c.message);
    auto p = spawn_piped(program, {});
    ASSERT_TRUE(std::holds_alternative<SpawnError>(p));
    EXPECT_EQ(std::get<SpawnError>(p).message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, RunCaptureMissing,
    ::testing::Values(MissingCase{"BareName", "qz-no-such-program-4711", "No such file or directory"},
                      MissingCase{"AbsolutePath", "/nonexistent/dir/prog", "No such file or directory"},
                      MissingCase{"NotExecutable", "@plain", "Permission denied"},
                      MissingCase{"NotAProgram", "@garbage", "Exec format error"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunCapture, BareNameIsFoundThroughPath) {
    test::TempDir dir;
    test::write_script(dir / "qz-path-probe", "echo found \"$1\"\n");
    CommandOutput out;
    {
        test::EnvGuard path("PATH", test::path_with_prefix(dir.path()));
        out = capture_ok("qz-path-probe", {"arg"});
    }
    EXPECT_EQ(out.stdout_data, "found arg\n");
}

TEST(RunCapture, NoDescriptorLeaksIntoTheChild) {
    // A descriptor some other part of the program opened without
    // close-on-exec, and the pipes of a run going on in parallel.
    int stray = ::open("/etc/hostname", O_RDONLY);
    ASSERT_GE(stray, 0);
    auto busy = spawn_piped("sleep", {"5"});
    ASSERT_TRUE(std::holds_alternative<ChildProcess>(busy));
    // ls lists its own descriptors: 0, 1, 2 and the one it reads the folder with.
    auto out = capture_ok("ls", {"/proc/self/fd"});
    EXPECT_EQ(lines_of(out.stdout_data), (std::set<std::string>{"0", "1", "2", "3"}));
    ::close(stray);
}

TEST(RunCapture, ParallelRunsDoNotHoldEachOthersPipes) {
    // Long children started by another thread while short runs are in
    // flight must not inherit a short run's pipe: the short run would then
    // wait for the long child to end before it saw end of file.
    std::atomic<bool> done{false};
    std::thread starter([&done] {
        std::vector<ChildProcess> sleepers;  // killed and reaped when dropped
        while (!done) {
            auto r = spawn_piped("sleep", {"3"});
            if (auto* c = std::get_if<ChildProcess>(&r)) sleepers.push_back(std::move(*c));
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    std::vector<std::thread> fast;
    std::atomic<int> good{0};
    std::atomic<long long> slowest_ms{0};
    for (int t = 0; t < 3; ++t) {
        fast.emplace_back([t, &good, &slowest_ms] {
            for (int i = 0; i < 15; ++i) {
                std::string tag = std::to_string(t) + "-" + std::to_string(i);
                auto start = Clock::now();
                auto out = sh("echo " + tag);
                auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
                if (ms > slowest_ms) slowest_ms = ms;
                if (out.stdout_data == tag + "\n" && out.ok()) ++good;
            }
        });
    }
    for (auto& f : fast) f.join();
    done = true;
    starter.join();
    EXPECT_EQ(good.load(), 45);
    EXPECT_LT(slowest_ms.load(), 1500);
}

extern "C" void on_alarm(int) {}

TEST(RunCapture, SignalsInTheCallerDoNotBreakTheRun) {
    // A handler without SA_RESTART makes poll, read and waitpid fail with
    // EINTR over and over while the child runs.
    struct sigaction sa {};
    sa.sa_handler = on_alarm;
    sigemptyset(&sa.sa_mask);
    struct sigaction old {};
    ASSERT_EQ(::sigaction(SIGALRM, &sa, &old), 0);
    itimerval every_ms{{0, 1000}, {0, 1000}};
    ::setitimer(ITIMER_REAL, &every_ms, nullptr);
    auto out = sh("printf a; sleep 0.2; head -c 300000 /dev/zero >&2; sleep 0.2; printf b; exit 4");
    // This one closes its pipes first, so the wait itself is interrupted.
    auto late = sh("exec >&- 2>&-; sleep 0.3; exit 6");
    itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &old, nullptr);
    EXPECT_EQ(out.stdout_data, "ab");
    EXPECT_EQ(out.stderr_data.size(), 300000u);
    ASSERT_TRUE(WIFEXITED(out.status));
    EXPECT_EQ(WEXITSTATUS(out.status), 4);
    ASSERT_TRUE(WIFEXITED(late.status));
    EXPECT_EQ(WEXITSTATUS(late.status), 6);
}

TEST(RunCapture, IgnoredSigpipeIsNotHandedToTheChild) {
    auto old = ::signal(SIGPIPE, SIG_IGN);
    auto out = sh("grep SigIgn /proc/self/status");
    ::signal(SIGPIPE, old);
    // SIGPIPE is signal 13: bit 12 of the ignored mask.
    ASSERT_GE(out.stdout_data.size(), 9u);
    unsigned long long mask = std::stoull(out.stdout_data.substr(out.stdout_data.find(':') + 1), nullptr, 16);
    EXPECT_EQ(mask & (1ull << 12), 0u) << out.stdout_data;
}

TEST(RunWait, ReturnsTheWaitStatus) {
    auto r = run_wait("sh", {"-c", "exit 9"});
    ASSERT_TRUE(std::holds_alternative<int>(r));
    int st = std::get<int>(r);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 9);
}

TEST(RunWait, ChildWritesToOurOwnStdout) {
    // Our stdout is redirected to a file for the length of the run.
    test::TempDir dir;
    fs::path file = dir / "out.txt";
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    fflush(stdout);
    int saved = ::dup(1);
    ::dup2(fd, 1);
    auto r = run_wait("sh", {"-c", "echo inherited"});
    ::dup2(saved, 1);
    ::close(saved);
    ::close(fd);
    ASSERT_TRUE(std::holds_alternative<int>(r));
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "inherited\n");
}

std::string read_all(ChildProcess& child) {
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = child.read_some(buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
    return text;
}

TEST(SpawnPiped, StdoutIsReadIncrementallyAndStderrDiscarded) {
    auto r = spawn_piped("sh", {"-c", "echo one; echo noise >&2; sleep 0.1; echo two; exit 3"});
    ASSERT_TRUE(std::holds_alternative<ChildProcess>(r));
    auto& child = std::get<ChildProcess>(r);
    EXPECT_GT(child.pid(), 0);
    EXPECT_EQ(read_all(child), "one\ntwo\n");
    int st = child.wait();
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 3);
    EXPECT_EQ(child.wait(), st);  // waiting twice gives the same status
}

TEST(SpawnPiped, KillAndTryWait) {
    auto r = spawn_piped("sleep", {"30"});
    ASSERT_TRUE(std::holds_alternative<ChildProcess>(r));
    auto& child = std::get<ChildProcess>(r);
    EXPECT_EQ(child.try_wait(), std::nullopt);
    child.kill(SIGTERM);
    int st = child.wait();
    ASSERT_TRUE(WIFSIGNALED(st));
    EXPECT_EQ(WTERMSIG(st), SIGTERM);
    EXPECT_EQ(child.try_wait(), st);
    child.kill(SIGTERM);  // harmless once reaped
}

TEST(SpawnPiped, AbandonedChildIsKilledAndReaped) {
    pid_t pid = -1;
    {
        auto r = spawn_piped("sleep", {"30"});
        ASSERT_TRUE(std::holds_alternative<ChildProcess>(r));
        ChildProcess moved = std::move(std::get<ChildProcess>(r));
        pid = moved.pid();
    }
    int st = 0;
    errno = 0;
    EXPECT_EQ(::waitpid(pid, &st, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);  // already reaped, no zombie left
}

TEST(SpawnShell, RunsTheLineWithShellSyntax) {
    test::TempDir dir;
    fs::path file = dir / "piped.txt";
    auto r = spawn_shell("printf 'b\\na\\n' | sort > '" + file.string() + "'; exit 5");
    ASSERT_TRUE(std::holds_alternative<ChildProcess>(r));
    auto& child = std::get<ChildProcess>(r);
    EXPECT_EQ(child.stdout_fd(), -1);
    int st = child.wait();
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 5);
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "a\nb\n");
}

}  // namespace
}  // namespace qz

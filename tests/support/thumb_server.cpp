#include "support/thumb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace qz::test {

ThumbStaticServer::ThumbStaticServer() {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return;
    const std::string script = std::string(QZ_SOURCE_DIR) + "/tools/thumb_static_server.py";
    const std::string log = log_dir_.file("requests.log");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(pipe_fds[1], STDOUT_FILENO);
        // env searches PATH in the child, so nothing between fork and exec allocates.
        ::execl("/usr/bin/env", "env", "python3", script.c_str(), root_.path().c_str(), log.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(pipe_fds[1]);
    // The first line is the port; give the interpreter a generous start.
    std::string line;
    pollfd pfd{pipe_fds[0], POLLIN, 0};
    while (pid_ > 0 && line.find('\n') == std::string::npos && ::poll(&pfd, 1, 15000) > 0) {
        char buf[64];
        const ssize_t n = ::read(pipe_fds[0], buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<size_t>(n));
    }
    ::close(pipe_fds[0]);
    port_ = std::atoi(line.c_str());
}

ThumbStaticServer::~ThumbStaticServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

std::string ThumbStaticServer::url(const std::string& target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + target;
}

void ThumbStaticServer::put(const std::string& name, const std::string& bytes) const {
    thumb_write_file(root_.file(name), bytes);
}

std::vector<std::string> ThumbStaticServer::requests() const {
    std::vector<std::string> out;
    std::istringstream in(thumb_read_file(log_dir_.file("requests.log")));
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

size_t ThumbStaticServer::count(const std::string& target) const {
    size_t n = 0;
    for (const auto& r : requests()) n += r == target;
    return n;
}

ThumbScopedPath::ThumbScopedPath(const std::string& value) {
    const char* old = std::getenv("PATH");
    saved_ = old ? old : "";
    ::setenv("PATH", value.c_str(), 1);
}

ThumbScopedPath::~ThumbScopedPath() { ::setenv("PATH", saved_.c_str(), 1); }

std::string thumb_path_with_prefix(const std::string& dir) {
    const char* old = std::getenv("PATH");
    return dir + ":" + (old ? old : "");
}

void thumb_write_script(const std::string& path, const std::string& body) {
    thumb_write_file(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}

}  // namespace qz::test

#include "support/upd_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <variant>

#include "process/command.h"

namespace qz::test {

namespace {

const std::string SERVER_SCRIPT = std::string(QZ_SOURCE_DIR) + "/tools/update_server.py";

// The system's interpreter starts in a tenth of the time a version-manager
// shim takes; the server needs only the standard library.
std::string python() {
    return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

sockaddr_in loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

}  // namespace

std::unique_ptr<UpdServer> UpdServer::start(const std::string& dir, int port) {
    auto spawned = spawn_piped(python(), {SERVER_SCRIPT, "--dir", dir, "--port", std::to_string(port)});
    if (auto* err = std::get_if<SpawnError>(&spawned)) {
        ADD_FAILURE() << "cannot start python3: " << err->message;
        return nullptr;
    }
    std::unique_ptr<UpdServer> server(new UpdServer());
    server->child_ = std::make_unique<ChildProcess>(std::move(std::get<ChildProcess>(spawned)));
    // The server prints "port N" once it listens; end of file means it gave up.
    std::string line;
    char c = 0;
    while (server->child_->read_some(&c, 1) == 1 && c != '\n') line.push_back(c);
    if (line.rfind("port ", 0) != 0) return nullptr;
    server->port_ = std::stoi(line.substr(5));
    return server;
}

UpdServer::~UpdServer() = default;

std::string UpdServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void upd_make_packages(const std::string& dir, const std::string& absolute_entry) {
    auto result = run_capture(python(), {SERVER_SCRIPT, "--make-packages", dir, "--absolute-entry", absolute_entry});
    auto* out = std::get_if<CommandOutput>(&result);
    ASSERT_TRUE(out != nullptr && out->ok()) << "package maker failed";
}

std::string upd_package_sha256(const std::string& dir, const std::string& name) {
    std::ifstream in(dir + "/sha256.txt");
    std::string hex, file;
    while (in >> hex >> file) {
        if (file == name) return hex;
    }
    ADD_FAILURE() << "no checksum for " << name;
    return {};
}

bool upd_port_accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr = loopback(port);
    bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return accepted;
}

int upd_closed_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = loopback(0);
    socklen_t len = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    if (fd >= 0) ::close(fd);
    return port;
}

UpdFallbackPortLock::UpdFallbackPortLock() {
    const auto path = std::filesystem::temp_directory_path() / "qz-update-fallback-port.lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
}

UpdFallbackPortLock::~UpdFallbackPortLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace qz::test

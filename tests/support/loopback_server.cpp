#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <variant>

#include "support/files.h"

namespace qz::test {

namespace {

std::string tool(const std::string& script) { return std::string(QZ_SOURCE_DIR) + "/tools/" + script; }

// The system's interpreter starts in a tenth of the time a version-manager
// shim takes, and is found whatever PATH a test has set; the servers need
// only the standard library.
std::string python() { return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3"; }

sockaddr_in loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

int connect_loopback(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr = loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The first line of the child's stdout; an interpreter on a loaded machine
// gets a generous start.
std::string read_first_line(ChildProcess& child, int timeout_ms) {
    std::string line;
    char c;
    while (line.find('\n') == std::string::npos) {
        pollfd p{child.stdout_fd(), POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0) break;
        if (child.read_some(&c, 1) != 1) break;
        line.push_back(c);
    }
    return line;
}

// "N" or "port N"; 0 for anything else.
int port_of_line(const std::string& line) {
    const std::string digits = line.rfind("port ", 0) == 0 ? line.substr(5) : line;
    return std::atoi(digits.c_str());
}

}  // namespace

LoopbackServer::LoopbackServer(const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {tool(script)};
    argv.insert(argv.end(), args.begin(), args.end());
    auto spawned = spawn_piped(python(), argv);
    if (auto* e = std::get_if<SpawnError>(&spawned)) {
        error_ = "python3: " + e->message;
        return;
    }
    child_ = std::move(std::get<ChildProcess>(spawned));
    const std::string line = read_first_line(child_, 15000);
    port_ = port_of_line(line);
    if (port_ <= 0) {
        error_ = "no port line from " + script + ": '" + line + "'";
        port_ = -1;
    }
}

LoopbackServer::~LoopbackServer() {
    if (child_.pid() > 0) {
        child_.kill(SIGTERM);
        child_.wait();
    }
}

std::string LoopbackServer::base_url() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string LoopbackServer::get(const std::string& path, int* status) const {
    if (status) *status = 0;
    int fd = connect_loopback(port_);
    if (fd < 0) return {};
    const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        ::close(fd);
        return {};
    }
    std::string response;
    char buf[8192];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) response.append(buf, static_cast<size_t>(n));
    ::close(fd);
    const size_t head_end = response.find("\r\n\r\n");
    if (head_end == std::string::npos) return {};
    if (status && response.size() > 12) *status = std::atoi(response.c_str() + 9);
    return response.substr(head_end + 4);
}

namespace {
std::vector<std::string> with_free_port(const std::vector<std::string>& extra_args) {
    std::vector<std::string> args = {"--port", "0"};
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    return args;
}
}  // namespace

CatalogServer::CatalogServer(const std::vector<std::string>& extra_args)
    : LoopbackServer("catalog_server.py", with_free_port(extra_args)) {}

bool CatalogServer::set_mode(const std::string& query) {
    int status = 0;
    get("/__mode?" + query, &status);
    return status == 200;
}

bool CatalogServer::reset() {
    int status = 0;
    get("/__reset", &status);
    return status == 200;
}

UpdateServer::UpdateServer(const std::string& dir, int port)
    : LoopbackServer("update_server.py", {"--dir", dir, "--port", std::to_string(port)}) {}

std::unique_ptr<UpdateServer> UpdateServer::start(const std::string& dir, int port) {
    auto server = std::make_unique<UpdateServer>(dir, port);
    if (server->error().rfind("python3: ", 0) == 0) ADD_FAILURE() << "cannot start " << server->error();
    if (!server->running()) return nullptr;
    return server;
}

void make_update_packages(const std::string& dir, const std::string& absolute_entry) {
    auto result =
        run_capture(python(), {tool("update_server.py"), "--make-packages", dir, "--absolute-entry", absolute_entry});
    auto* out = std::get_if<CommandOutput>(&result);
    ASSERT_TRUE(out != nullptr && out->ok()) << "package maker failed";
}

std::string update_package_sha256(const std::string& dir, const std::string& name) {
    std::ifstream in(dir + "/sha256.txt");
    std::string hex, file;
    while (in >> hex >> file) {
        if (file == name) return hex;
    }
    ADD_FAILURE() << "no checksum for " << name;
    return {};
}

StaticServer::StaticServer()
    : LoopbackServer("thumb_static_server.py", {StaticServerDirs::root.path(), StaticServerDirs::log / "requests.log"}) {}

void StaticServer::put(const std::string& name, const std::string& bytes) const {
    write_file(StaticServerDirs::root / name, bytes);
}

std::vector<std::string> StaticServer::requests() const {
    std::vector<std::string> out;
    std::istringstream in(read_file(StaticServerDirs::log / "requests.log"));
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

size_t StaticServer::count(const std::string& target) const {
    size_t n = 0;
    for (const auto& r : requests()) n += r == target;
    return n;
}

std::optional<int> loopback_port(const std::string& base_url) {
    const std::string prefix = "http://127.0.0.1:";
    if (base_url.rfind(prefix, 0) != 0) return std::nullopt;
    size_t end = prefix.size();
    int port = 0;
    while (end < base_url.size() && base_url[end] >= '0' && base_url[end] <= '9' && port <= 65535) {
        port = port * 10 + (base_url[end] - '0');
        ++end;
    }
    if (end == prefix.size() || port == 0 || port > 65535) return std::nullopt;
    if (end < base_url.size() && base_url[end] != '/') return std::nullopt;
    return port;
}

bool port_accepts(int port) {
    const int fd = connect_loopback(port);
    if (fd >= 0) ::close(fd);
    return fd >= 0;
}

int closed_port() {
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

PortLock::PortLock(int port) {
    const std::string lock = "/tmp/qz-test-port-" + std::to_string(port) + ".lock";
    fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        problem_ = "cannot open " + lock;
        return;
    }
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (port_accepts(port)) {
        foreign_ = true;
        problem_ = "127.0.0.1:" + std::to_string(port) + " is held by another program";
    }
}

PortLock::~PortLock() {
    if (fd_ >= 0) ::close(fd_);
}

FixedPortServer::FixedPortServer(const std::string& base_url, const std::string& build_hint, const Start& start) {
    const std::optional<int> port = loopback_port(base_url);
    if (!port) {
        status_ = Status::Skip;
        problem_ = "this build asks " + base_url + "; " + build_hint;
        return;
    }
    port_ = *port;
    lock_ = std::make_unique<PortLock>(port_);
    if (!lock_->problem().empty()) {
        if (lock_->foreign_holder()) status_ = Status::Skip;
        problem_ = lock_->problem();
        return;
    }
    server_ = start(port_);
    if (!server_ || !server_->running()) {
        problem_ = "the server did not start on port " + std::to_string(port_) + (server_ ? ": " + server_->error() : "");
        return;
    }
    if (server_->port() != port_) {
        problem_ = "the server took port " + std::to_string(server_->port()) + ", not " + std::to_string(port_);
        return;
    }
    status_ = Status::Ready;
}

FixedPortServer::~FixedPortServer() {
    server_.reset();  // stop serving before the lock lets another test take the port
    lock_.reset();
}

std::unique_ptr<FixedPortServer> fixed_port_catalog(const std::string& base_url,
                                                    const std::vector<std::string>& server_args) {
    return std::make_unique<FixedPortServer>(
        base_url, "scripts/test builds with QZ_CATALOG_BASE_URL=http://127.0.0.1:18931", [&](int port) {
            std::vector<std::string> args = server_args;
            args.insert(args.end(), {"--port", std::to_string(port)});  // the last --port wins
            return std::make_unique<CatalogServer>(args);
        });
}

}  // namespace qz::test

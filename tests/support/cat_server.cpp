#include "support/cat_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace qz::test {

namespace {

// Reads the first line of the child's stdout, waiting at most timeout_ms.
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

int connect_loopback(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

CatCatalogServer::CatCatalogServer(const std::vector<std::string>& extra_args) {
    std::vector<std::string> args = {std::string(QZ_SOURCE_DIR) + "/tools/catalog_server.py", "--port", "0"};
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    auto spawned = spawn_piped("python3", args);
    if (auto* e = std::get_if<SpawnError>(&spawned)) {
        error_ = "python3: " + e->message;
        return;
    }
    child_ = std::move(std::get<ChildProcess>(spawned));
    std::string line = read_first_line(child_, 10000);
    port_ = std::atoi(line.c_str());
    if (port_ <= 0) {
        error_ = "no port line from the server: '" + line + "'";
        port_ = -1;
    }
}

CatCatalogServer::~CatCatalogServer() {
    child_.kill(SIGTERM);
    child_.wait();
}

std::string CatCatalogServer::base_url() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string CatCatalogServer::get(const std::string& path, int* status) {
    if (status) *status = 0;
    int fd = connect_loopback(port_);
    if (fd < 0) return {};
    std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        ::close(fd);
        return {};
    }
    std::string response;
    char buf[8192];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) response.append(buf, static_cast<size_t>(n));
    ::close(fd);
    size_t head_end = response.find("\r\n\r\n");
    if (head_end == std::string::npos) return {};
    if (status && response.size() > 12) *status = std::atoi(response.c_str() + 9);
    return response.substr(head_end + 4);
}

bool CatCatalogServer::set_mode(const std::string& query) {
    int status = 0;
    get("/__mode?" + query, &status);
    return status == 200;
}

bool CatCatalogServer::reset() {
    int status = 0;
    get("/__reset", &status);
    return status == 200;
}

std::string CatCatalogServer::requests_json() { return get("/__requests"); }

int cat_closed_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

std::string cat_find_in_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

CatEnvGuard::CatEnvGuard(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    ::setenv(name, value.c_str(), 1);
}

CatEnvGuard::~CatEnvGuard() {
    if (had_) {
        ::setenv(name_.c_str(), old_.c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

}  // namespace qz::test

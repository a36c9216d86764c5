#include "support/home_loopback.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace qz::test {

std::optional<int> home_loopback_port(const std::string& base_url) {
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

bool home_port_accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return accepted;
}

HomeLoopbackCatalog::HomeLoopbackCatalog(const std::string& base_url, const std::vector<std::string>& server_args) {
    std::optional<int> port = home_loopback_port(base_url);
    if (!port) {
        status_ = Status::Skip;
        problem_ = "this build asks " + base_url +
                   " for the catalog; scripts/test builds with QZ_CATALOG_BASE_URL=http://127.0.0.1:18931";
        return;
    }
    port_ = *port;
    lock_ = std::make_unique<PortLock>(port_);
    if (!lock_->problem().empty()) {
        if (lock_->foreign_holder()) status_ = Status::Skip;
        problem_ = lock_->problem();
        return;
    }
    std::vector<std::string> args = server_args;
    args.insert(args.end(), {"--port", std::to_string(port_)});  // the last --port wins
    server_ = std::make_unique<CatCatalogServer>(args);
    if (!server_->running()) {
        problem_ = "the catalog server did not start on port " + std::to_string(port_) + ": " + server_->error();
        return;
    }
    if (server_->port() != port_) {
        problem_ = "the catalog server took port " + std::to_string(server_->port()) + ", not " +
                   std::to_string(port_);
        return;
    }
    status_ = Status::Ready;
}

HomeLoopbackCatalog::~HomeLoopbackCatalog() {
    server_.reset();  // stop serving before another test may take the port
    lock_.reset();
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
    if (home_port_accepts(port)) {
        foreign_ = true;
        problem_ = "127.0.0.1:" + std::to_string(port) + " is held by another program";
    }
}

PortLock::~PortLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace qz::test

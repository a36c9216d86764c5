#include "support/tour_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace qz::test {

TourFixedServer::TourFixedServer(int port, const std::string& dir) : port_(port) {
    const std::string lock = "/tmp/qz-test-port-" + std::to_string(port) + ".lock";
    lock_fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock_fd_ < 0) {
        problem_ = "cannot open " + lock;
        return;
    }
    int rc;
    do {
        rc = ::flock(lock_fd_, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    // With the lock held, no test of ours serves the port: whoever answers
    // there is someone else.
    if (upd_port_accepts(port)) {
        port_taken_ = true;
        problem_ = "127.0.0.1:" + std::to_string(port) + " is held by another program";
        return;
    }
    server_ = UpdServer::start(dir, port);
    if (!server_) problem_ = "the update server did not start on port " + std::to_string(port);
}

TourFixedServer::~TourFixedServer() {
    server_.reset();  // stop serving before another test may take the port
    if (lock_fd_ >= 0) ::close(lock_fd_);
}

std::string TourFixedServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace qz::test

#pragma once

#include <memory>
#include <string>

namespace qz {
class ChildProcess;
}

namespace qz::test {

// The loopback update server (tools/update_server.py) serving a directory.
// Stopped when the object goes.
class UpdServer {
public:
    // port 0 picks a free port. Returns nullptr when the server could not
    // start (for a fixed port: it is taken).
    static std::unique_ptr<UpdServer> start(const std::string& dir, int port = 0);
    ~UpdServer();

    int port() const { return port_; }
    std::string url(const std::string& path) const;

private:
    UpdServer() = default;
    std::unique_ptr<ChildProcess> child_;
    int port_ = 0;
};

// The endpoint the device itself may serve; tests play it with a second server.
inline constexpr int UPD_FALLBACK_PORT = 4549;

// Writes the test packages and "sha256.txt" into dir; absolute_entry is the
// absolute path named by the entry of "absolute.zip".
void upd_make_packages(const std::string& dir, const std::string& absolute_entry);
// The checksum of a package written by upd_make_packages.
std::string upd_package_sha256(const std::string& dir, const std::string& name);

// True when something accepts connections on 127.0.0.1:port.
bool upd_port_accepts(int port);
// A loopback port nothing listens on (bound once, then released).
int upd_closed_port();

// Serialises the tests of this suite that depend on who holds the fall-back
// port, across test processes run in parallel.
class UpdFallbackPortLock {
public:
    UpdFallbackPortLock();
    ~UpdFallbackPortLock();
    UpdFallbackPortLock(const UpdFallbackPortLock&) = delete;
    UpdFallbackPortLock& operator=(const UpdFallbackPortLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace qz::test

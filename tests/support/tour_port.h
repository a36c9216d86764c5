#pragma once

#include <memory>
#include <optional>
#include <string>

#include "support/home_loopback.h"
#include "support/upd_server.h"

namespace qz::test {


// The update server on a fixed loopback port (the one the executable under
// test was built to ask), serving dir. While it runs, an exclusive flock on
// "/tmp/qz-test-port-{port}.lock" is held, so test programs run in parallel
// take turns on the port instead of failing to bind it.
class TourFixedServer {
public:
    TourFixedServer(int port, const std::string& dir);
    ~TourFixedServer();
    TourFixedServer(const TourFixedServer&) = delete;
    TourFixedServer& operator=(const TourFixedServer&) = delete;

    bool running() const { return server_ != nullptr; }
    // Why the server is not running: the port is held by a process that is
    // not one of these tests, or the server did not start.
    const std::string& problem() const { return problem_; }
    // True when another program holds the port: a reason to skip, not a fault.
    bool port_taken() const { return port_taken_; }
    std::string url(const std::string& path) const;

private:
    int port_ = 0;
    PortLock lock_;
    bool port_taken_ = false;
    std::string problem_;
    std::unique_ptr<UpdServer> server_;
};

}  // namespace qz::test

#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/cat_server.h"

namespace qz::test {

// The port of "http://127.0.0.1:PORT" (optionally followed by a path);
// nullopt for any other host or a URL without a port.
std::optional<int> home_loopback_port(const std::string& base_url);

// An exclusive flock on "/tmp/qz-test-port-{port}.lock", held for the
// object's lifetime, so test programs run in parallel take turns on a fixed
// loopback port. With the lock held none of our tests serves the port, so a
// program answering there is somebody else's (foreign_holder()).
class PortLock {
public:
    explicit PortLock(int port);
    ~PortLock();
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    bool locked() const { return fd_ >= 0; }
    bool foreign_holder() const { return foreign_; }
    // Why the port cannot be used, empty when it can.
    const std::string& problem() const { return problem_; }

private:
    int fd_ = -1;
    bool foreign_ = false;
    std::string problem_;
};

// The loopback catalog server (tools/catalog_server.py) on the fixed port of
// the catalog URL an executable was built with, for black-box runs of that
// executable. While it runs, an exclusive flock on
// "/tmp/qz-test-port-{port}.lock" is held, so test programs run in parallel
// take turns on the port instead of fighting over it.
class HomeLoopbackCatalog {
public:
    enum class Status { Ready, Skip, Failed };

    // base_url: the build's catalog URL; server_args go to the server
    // (e.g. {"--data", dir, "--mode", "hang"}).
    HomeLoopbackCatalog(const std::string& base_url, const std::vector<std::string>& server_args = {});
    ~HomeLoopbackCatalog();
    HomeLoopbackCatalog(const HomeLoopbackCatalog&) = delete;
    HomeLoopbackCatalog& operator=(const HomeLoopbackCatalog&) = delete;

    // Skip: the build does not ask a loopback URL, or another program holds
    // the port. Failed: the server did not come up.
    Status status() const { return status_; }
    const std::string& problem() const { return problem_; }
    int port() const { return port_; }
    // Only while status() is Ready.
    CatCatalogServer& server() { return *server_; }

private:
    Status status_ = Status::Failed;
    std::string problem_;
    int port_ = 0;
    std::unique_ptr<PortLock> lock_;
    std::unique_ptr<CatCatalogServer> server_;
};

// True when something accepts connections on 127.0.0.1:port.
bool home_port_accepts(int port);

}  // namespace qz::test

// In a test body: skips or fails unless the server is ready.
#define HOME_REQUIRE_LOOPBACK(catalog)                                                          \
    do {                                                                                        \
        if ((catalog).status() == ::qz::test::HomeLoopbackCatalog::Status::Skip)                \
            GTEST_SKIP() << (catalog).problem();                                                \
        ASSERT_EQ((catalog).status(), ::qz::test::HomeLoopbackCatalog::Status::Ready)           \
            << (catalog).problem();                                                             \
    } while (0)

#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "process/command.h"
#include "support/temp_dir.h"

namespace qz::test {

// One of the Python test servers of tools/ on a loopback port, stopped
// (SIGTERM to our own child only) and reaped when the object goes. The
// server names its port on its first line of output ("N" or "port N").
class LoopbackServer {
public:
    // script: a file name under tools/; args are passed on.
    LoopbackServer(const std::string& script, const std::vector<std::string>& args);
    virtual ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // False when the server did not come up; error() says why.
    bool running() const { return port_ > 0; }
    const std::string& error() const { return error_; }
    int port() const { return port_; }
    // "http://127.0.0.1:{port}", and that followed by path.
    std::string base_url() const;
    std::string url(const std::string& path) const { return base_url() + path; }

    // GET path over a plain socket (whatever PATH a test has set); the
    // response body, or nothing on failure.
    std::string get(const std::string& path, int* status = nullptr) const;

private:
    ChildProcess child_;
    int port_ = -1;
    std::string error_;
};

// tools/catalog_server.py, on a free port unless extra_args name one (the
// last --port wins); the default fixture folder is tools/fixtures/catalog.
class CatalogServer : public LoopbackServer {
public:
    explicit CatalogServer(const std::vector<std::string>& extra_args = {});

    // Spoils answers: "mode=html404", "mode=slow&delay=0.5&path=/api/videos/home".
    bool set_mode(const std::string& query);
    // Back to normal answers and an empty request list.
    bool reset();
    // The API requests seen so far, as the server's JSON list.
    std::string requests_json() const { return get("/__requests"); }
};

// tools/update_server.py serving dir; port 0 picks a free port.
class UpdateServer : public LoopbackServer {
public:
    explicit UpdateServer(const std::string& dir, int port = 0);
    // nullptr (and a test failure when python3 cannot run) unless it runs.
    static std::unique_ptr<UpdateServer> start(const std::string& dir, int port = 0);
};

// The endpoint the device itself may serve; tests play it with a second server.
inline constexpr int UPDATE_FALLBACK_PORT = 4549;

// Writes the test packages and "sha256.txt" into dir; absolute_entry is the
// absolute path named by the entry of "absolute.zip".
void make_update_packages(const std::string& dir, const std::string& absolute_entry);
// The checksum of a package written by make_update_packages.
std::string update_package_sha256(const std::string& dir, const std::string& name);

// The directories a StaticServer serves from and logs into; a base of it so
// they exist before the server starts.
struct StaticServerDirs {
    TempDir root;
    TempDir log;
};

// tools/thumb_static_server.py on a free port, serving a temporary directory
// and logging each request target.
class StaticServer : private StaticServerDirs, public LoopbackServer {
public:
    StaticServer();

    // Places a file that the server then serves under "/{name}".
    void put(const std::string& name, const std::string& bytes) const;
    // Request targets received so far, in order.
    std::vector<std::string> requests() const;
    // How many requests had exactly this target.
    size_t count(const std::string& target) const;
};

// The port of "http://127.0.0.1:PORT" (optionally followed by a path);
// nullopt for any other host or a URL without a port.
std::optional<int> loopback_port(const std::string& base_url);
// True when something accepts connections on 127.0.0.1:port.
bool port_accepts(int port);
// A loopback port nothing listens on (bound once, then released).
int closed_port();

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

// A server on the fixed loopback port of a URL an executable was built to
// ask, for black-box runs of that executable, holding the port's PortLock
// while it runs.
class FixedPortServer {
public:
    enum class Status { Ready, Skip, Failed };
    using Start = std::function<std::unique_ptr<LoopbackServer>(int port)>;

    // base_url: the build's URL; build_hint: how to build for loopback, said
    // when the URL is not one.
    FixedPortServer(const std::string& base_url, const std::string& build_hint, const Start& start);
    ~FixedPortServer();
    FixedPortServer(const FixedPortServer&) = delete;
    FixedPortServer& operator=(const FixedPortServer&) = delete;

    // Skip: the build does not ask a loopback URL, or another program holds
    // the port. Failed: the server did not come up.
    Status status() const { return status_; }
    const std::string& problem() const { return problem_; }
    int port() const { return port_; }
    // Only while status() is Ready.
    LoopbackServer& server() { return *server_; }
    std::string url(const std::string& path) const { return server_->url(path); }

private:
    Status status_ = Status::Failed;
    std::string problem_;
    int port_ = 0;
    std::unique_ptr<PortLock> lock_;
    std::unique_ptr<LoopbackServer> server_;
};

// The catalog server on the port of the build's catalog URL.
std::unique_ptr<FixedPortServer> fixed_port_catalog(const std::string& base_url,
                                                    const std::vector<std::string>& server_args = {});

}  // namespace qz::test

// In a test body or SetUp: skips or fails unless the server is ready.
#define REQUIRE_FIXED_PORT_SERVER(fixed)                                                   \
    do {                                                                                   \
        if ((fixed).status() == ::qz::test::FixedPortServer::Status::Skip)                 \
            GTEST_SKIP() << (fixed).problem();                                             \
        ASSERT_EQ((fixed).status(), ::qz::test::FixedPortServer::Status::Ready)            \
            << (fixed).problem();                                                          \
    } while (0)

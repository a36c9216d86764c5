#pragma once

#include <string>
#include <vector>

#include "process/command.h"

namespace qz::test {

// tools/catalog_server.py on a free loopback port, stopped (and reaped) when
// this object goes. Control requests go over a plain socket, so they work
// whatever PATH a test has set.
class CatCatalogServer {
public:
    // extra_args are passed on (e.g. {"--data", dir}); the default fixture
    // folder is tools/fixtures/catalog.
    explicit CatCatalogServer(const std::vector<std::string>& extra_args = {});
    ~CatCatalogServer();
    CatCatalogServer(const CatCatalogServer&) = delete;
    CatCatalogServer& operator=(const CatCatalogServer&) = delete;

    // False when the server did not come up; error() says why.
    bool running() const { return port_ > 0; }
    const std::string& error() const { return error_; }
    int port() const { return port_; }
    std::string base_url() const;

    // Spoils answers: "mode=html404", "mode=slow&delay=0.5&path=/api/videos/home".
    bool set_mode(const std::string& query);
    // Back to normal answers and an empty request list.
    bool reset();
    // The API requests seen so far, as the server's JSON list.
    std::string requests_json();

    // GET path on the server; the response body, or nothing on failure.
    std::string get(const std::string& path, int* status = nullptr);

private:
    ChildProcess child_;
    int port_ = -1;
    std::string error_;
};

// A loopback port with nothing listening on it (connections are refused).
int cat_closed_port();

// Full path of a program found through PATH, empty when none.
std::string cat_find_in_path(const std::string& program);

// Sets an environment variable for the lifetime of the object.
class CatEnvGuard {
public:
    CatEnvGuard(const char* name, const std::string& value);
    ~CatEnvGuard();
    CatEnvGuard(const CatEnvGuard&) = delete;
    CatEnvGuard& operator=(const CatEnvGuard&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

}  // namespace qz::test

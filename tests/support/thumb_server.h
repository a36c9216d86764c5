#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/thumb_images.h"

namespace qz::test {

// tools/thumb_static_server.py on a free loopback port, serving a temporary
// directory and logging each request target. Stopped (SIGTERM to our own
// child only) and reaped on destruction.
class ThumbStaticServer {
public:
    ThumbStaticServer();
    ThumbStaticServer(const ThumbStaticServer&) = delete;
    ThumbStaticServer& operator=(const ThumbStaticServer&) = delete;
    ~ThumbStaticServer();

    bool running() const { return port_ > 0; }
    // "http://127.0.0.1:{port}{target}"
    std::string url(const std::string& target) const;
    // Places a file that the server then serves under "/{name}".
    void put(const std::string& name, const std::string& bytes) const;
    // Request targets received so far, in order.
    std::vector<std::string> requests() const;
    // How many requests had exactly this target.
    size_t count(const std::string& target) const;

private:
    ThumbTempDir root_;
    ThumbTempDir log_dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// Sets PATH for its lifetime; create it before any thread starts.
class ThumbScopedPath {
public:
    explicit ThumbScopedPath(const std::string& value);
    ThumbScopedPath(const ThumbScopedPath&) = delete;
    ThumbScopedPath& operator=(const ThumbScopedPath&) = delete;
    ~ThumbScopedPath();

private:
    std::string saved_;
};

// dir followed by the current PATH.
std::string thumb_path_with_prefix(const std::string& dir);

// Writes an executable shell script.
void thumb_write_script(const std::string& path, const std::string& body);

}  // namespace qz::test

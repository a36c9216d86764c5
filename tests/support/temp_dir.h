#pragma once

#include <string>

namespace qz::test {

// A fresh directory under /tmp, removed with everything in it at the end
// (permissions a test took away are given back first, so removal succeeds).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() joined with a relative path.
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

}  // namespace qz::test

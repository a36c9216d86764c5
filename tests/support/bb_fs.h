#pragma once

#include <string>

namespace qz::test {

// A fresh directory under /tmp, removed with everything in it at the end.
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

// Creates missing parent directories first.
void write_file(const std::string& path, const std::string& content);
void make_dirs(const std::string& path);
// Empty when the file cannot be read.
std::string read_file(const std::string& path);
bool path_exists(const std::string& path);
bool is_directory(const std::string& path);

}  // namespace qz::test

#pragma once

#include <filesystem>
#include <string>

namespace qz::test {

// A fresh directory under /tmp, removed with everything in it at the end.
class CatTempDir {
public:
    CatTempDir();
    ~CatTempDir();
    CatTempDir(const CatTempDir&) = delete;
    CatTempDir& operator=(const CatTempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string cat_read_file(const std::string& path);
void cat_write_file(const std::string& path, const std::string& text, bool executable = false);

}  // namespace qz::test

#pragma once

#include <string>

namespace qz::test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class UpdTempDir {
public:
    UpdTempDir();
    ~UpdTempDir();
    UpdTempDir(const UpdTempDir&) = delete;
    UpdTempDir& operator=(const UpdTempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Whole-file helpers that fail the current test on error.
void upd_write_file(const std::string& path, const std::string& bytes);
std::string upd_read_file(const std::string& path);
bool upd_exists(const std::string& path);

}  // namespace qz::test

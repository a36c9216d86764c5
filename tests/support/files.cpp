#include "support/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace qz::test {

namespace fs = std::filesystem;

void make_dirs(const std::string& path) {
    if (!path.empty()) fs::create_directories(path);
}

void write_file(const std::string& path, const std::string& bytes) {
    make_dirs(fs::path(path).parent_path().string());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void write_script(const std::string& path, const std::string& body) {
    write_file(path, "#!/bin/sh\n" + body);
    if (::chmod(path.c_str(), 0755) != 0) throw std::runtime_error("cannot chmod " + path);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void make_fifo(const std::string& path) {
    make_dirs(fs::path(path).parent_path().string());
    if (::mkfifo(path.c_str(), 0666) != 0) throw std::runtime_error("mkfifo failed: " + path);
}

bool path_exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

bool is_directory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::string find_in_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

bool have_programs(const std::vector<std::string>& programs) {
    for (const auto& p : programs) {
        if (find_in_path(p).empty()) return false;
    }
    return true;
}

bool run_shell(const std::string& command) { return std::system(command.c_str()) == 0; }

}  // namespace qz::test

#include "common/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/unique_fd.h"

namespace qz {

namespace {

FileRead read_failure(FileReadStatus status, int error = 0) {
    FileRead r;
    r.status = status;
    r.error = error;
    return r;
}

void sync_directory_of(const std::string& path) {
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (dir.empty()) dir = ".";
    UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) ::fsync(fd.get());
}

}  // namespace

FileRead read_file_capped(const std::string& path, size_t max_bytes) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the type is
    // checked on the open descriptor, so a swapped file cannot slip past.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd) return read_failure(errno == ENOENT ? FileReadStatus::Missing : FileReadStatus::Failed, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return read_failure(FileReadStatus::Failed, errno);
    if (!S_ISREG(st.st_mode)) return read_failure(FileReadStatus::NotRegular);
    if (static_cast<uint64_t>(st.st_size) > max_bytes) return read_failure(FileReadStatus::TooLarge);
    FileRead r;
    try {
        r.text.reserve(static_cast<size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        return read_failure(FileReadStatus::TooLarge);
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return read_failure(FileReadStatus::Failed, errno);
        if (n == 0) break;
        if (r.text.size() + static_cast<size_t>(n) > max_bytes) return read_failure(FileReadStatus::TooLarge);
        try {
            r.text.append(buf, static_cast<size_t>(n));
        } catch (const std::bad_alloc&) {
            return read_failure(FileReadStatus::TooLarge);
        }
    }
    r.status = FileReadStatus::Ok;
    return r;
}

bool write_all(int fd, const void* data, size_t length) {
    const auto* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::write(fd, p, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

std::string temp_path_for(const std::string& path) {
    return std::filesystem::path(path).replace_extension("tmp").string();
}

bool write_synced(const std::string& path, std::string_view text) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd) return false;
    bool ok = write_all(fd.get(), text) && ::fsync(fd.get()) == 0;
    ok = fd.close() && ok;
    if (!ok) ::unlink(path.c_str());
    return ok;
}

bool replace_file(const std::string& tmp, const std::string& path) {
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    sync_directory_of(path);
    return true;
}

bool write_file_atomic(const std::string& path, std::string_view text) {
    const std::string tmp = temp_path_for(path);
    return write_synced(tmp, text) && replace_file(tmp, path);
}

}  // namespace qz

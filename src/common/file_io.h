#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qz {

enum class FileReadStatus {
    Ok,
    Missing,     // no such file
    NotRegular,  // a directory, FIFO, device...: never opened for reading
    TooLarge,    // larger than the caller's cap: never allocated
    Failed,      // opening or reading failed otherwise (errno in FileRead::error)
};

struct FileRead {
    FileReadStatus status = FileReadStatus::Failed;
    std::string text;  // the whole file when status is Ok
    int error = 0;     // errno of a Failed read

    bool ok() const { return status == FileReadStatus::Ok; }
};

// Reads a whole regular file of at most max_bytes. A file that grows past the
// cap while it is read is TooLarge as well. Never blocks on a FIFO.
FileRead read_file_capped(const std::string& path, size_t max_bytes);

// Writes all bytes to a descriptor, going on after EINTR and short writes.
bool write_all(int fd, const void* data, size_t length);
inline bool write_all(int fd, std::string_view text) { return write_all(fd, text.data(), text.size()); }

// The temporary file beside path, its extension replaced by "tmp".
std::string temp_path_for(const std::string& path);

// Writes text to path and flushes it to the medium; a partial file is removed.
bool write_synced(const std::string& path, std::string_view text);

// Renames tmp over path, then flushes the directory so the rename itself
// survives a power cut. On failure tmp is removed and path left as it was.
bool replace_file(const std::string& tmp, const std::string& path);

// write_synced to the temporary file, then replace_file: a power cut leaves
// either the old or the new file, never a part of one.
bool write_file_atomic(const std::string& path, std::string_view text);

}  // namespace qz

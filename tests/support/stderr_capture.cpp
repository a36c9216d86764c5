#include "support/stderr_capture.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace qz::test {

StderrCapture::StderrCapture() {
    char name[] = "/tmp/qz_stderr_XXXXXX";
    file_fd_ = ::mkstemp(name);
    if (file_fd_ < 0) throw std::runtime_error("mkstemp failed");
    ::unlink(name);
    std::fflush(stderr);
    saved_fd_ = ::dup(STDERR_FILENO);
    ::dup2(file_fd_, STDERR_FILENO);
}

StderrCapture::~StderrCapture() {
    std::fflush(stderr);
    ::dup2(saved_fd_, STDERR_FILENO);
    ::close(saved_fd_);
    ::close(file_fd_);
}

std::string StderrCapture::text() const {
    std::fflush(stderr);
    std::string out;
    char chunk[4096];
    off_t offset = 0;
    ssize_t n;
    while ((n = ::pread(file_fd_, chunk, sizeof chunk, offset)) > 0) {
        out.append(chunk, static_cast<size_t>(n));
        offset += n;
    }
    return out;
}

}  // namespace qz::test

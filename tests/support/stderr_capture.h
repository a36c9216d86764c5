#pragma once

#include <string>

namespace qz::test {

// Sends this process's standard error (descriptor 2) into a temporary file
// while the object lives, so a test can read the exact log lines.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written so far.
    std::string text() const;

private:
    int saved_fd_ = -1;
    int file_fd_ = -1;
};

// Everything written to standard error while fn runs (worker threads log
// before they send, so their lines are in once their messages arrived).
template <class Fn>
std::string stderr_of(Fn fn) {
    StderrCapture capture;
    fn();
    return capture.text();
}

}  // namespace qz::test

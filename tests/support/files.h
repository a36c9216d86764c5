#pragma once

#include <string>
#include <vector>

namespace qz::test {

// Whole-file helpers for test fixtures. Writing creates missing parent
// directories and throws when the file cannot be written.
void write_file(const std::string& path, const std::string& bytes);
// An executable shell script: "#!/bin/sh\n" followed by body.
void write_script(const std::string& path, const std::string& body);
// Empty when the file cannot be read.
std::string read_file(const std::string& path);
void make_dirs(const std::string& path);
// A named pipe; throws when it cannot be made.
void make_fifo(const std::string& path);
// True for anything at path, a dangling symbolic link included.
bool path_exists(const std::string& path);
bool is_directory(const std::string& path);

// Full path of a program found through PATH, empty when none.
std::string find_in_path(const std::string& program);
// True when every named program is found through PATH.
bool have_programs(const std::vector<std::string>& programs);
// Runs a shell command; true when it exited with status 0.
bool run_shell(const std::string& command);

}  // namespace qz::test

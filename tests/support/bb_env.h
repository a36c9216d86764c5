#pragma once

#include <optional>
#include <string>

namespace qz::test {

// Sets (or with nullopt, unsets) one environment variable for the lifetime of
// the object and restores the old state afterwards. For single-threaded tests.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace qz::test

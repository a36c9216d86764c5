#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace qz::test {

// Sets or unsets one environment variable for a scope and puts back what was
// there before. For single-threaded tests, or before any thread starts.
class EnvGuard {
public:
    // Only remembers the variable; set() and unset() change it later.
    explicit EnvGuard(std::string name) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) old_ = old;
    }
    // Remembers it, then sets it to value (nullopt: unsets it).
    EnvGuard(std::string name, const std::optional<std::string>& value) : EnvGuard(std::move(name)) {
        apply(value);
    }
    ~EnvGuard() { apply(old_); }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

    void set(const std::string& value) { apply(value); }
    void unset() { apply(std::nullopt); }

private:
    void apply(const std::optional<std::string>& value) const {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

    std::string name_;
    std::optional<std::string> old_;
};

// dir followed by the current PATH, for putting fake programs first.
inline std::string path_with_prefix(const std::string& dir) {
    const char* old = std::getenv("PATH");
    return dir + ":" + (old ? old : "");
}

}  // namespace qz::test

#include "update/version.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace qz {
namespace {

struct VersionCase {
    std::string remote;
    std::string current;
    bool newer;
};

void PrintTo(const VersionCase& c, std::ostream* os) {
    *os << '"' << c.remote << "\" vs \"" << c.current << "\" -> " << (c.newer ? "newer" : "not newer");
}

class NewerVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(NewerVersion, Compares) {
    const auto& c = GetParam();
    EXPECT_EQ(is_newer_version(c.remote, c.current), c.newer);
}

INSTANTIATE_TEST_SUITE_P(
    Update, NewerVersion,
    ::testing::Values(
        // Newer than the built-in 1.0.0.
        VersionCase{"1.0.1", "1.0.0", true}, VersionCase{"v1.0.1", "1.0.0", true},
        VersionCase{"vvv1.0.1", "1.0.0", true}, VersionCase{"1.1", "1.0.0", true}, VersionCase{"2", "1.0.0", true},
        VersionCase{"1.0.0.1", "1.0.0", true}, VersionCase{"1.x.5", "1.0.0", true},
        VersionCase{"1.0.10", "1.0.9", true}, VersionCase{"+1.+0.+1", "1.0.0", true},
        VersionCase{"1..1", "1.0.0", true}, VersionCase{"1.0.4294967295", "1.0.0", true},
        // Not newer.
        VersionCase{"1.0.0", "1.0.0", false}, VersionCase{"1.0", "1.0.0", false},
        VersionCase{"1.0.0-beta", "1.0.0", false},  // "0-beta" is dropped: 1.0
        VersionCase{"V1.0.1", "1.0.0", false},      // "V1" is dropped: 0.1
        VersionCase{"0.9.9", "1.0.0", false}, VersionCase{"1.0.9", "1.0.10", false},
        VersionCase{"1.0.00000", "1.0.0", false}, VersionCase{"", "1.0.0", false},
        VersionCase{"v", "1.0.0", false}, VersionCase{"1.-1", "1.0.0", false},
        VersionCase{"1. 1", "1.0.0", false}, VersionCase{"1.+", "1.0.0", false},
        // Pieces beyond 32 bits are dropped, not wrapped or clamped.
        VersionCase{"1.0.4294967296", "1.0.0", false}, VersionCase{"1.0.99999999999999999999", "1.0.0", false},
        VersionCase{"1.0.4294967296.1", "1.0.0", true},
        // Only the remote text loses its "v": a current "v1.0.0" reads as 0.0.
        VersionCase{"1.0.0", "v1.0.0", true}, VersionCase{"0.0.1", "v1.0.0", true},
        VersionCase{"", "", false}));

}  // namespace
}  // namespace qz

#pragma once

#include <string_view>

namespace qz {

// True when remote names a later build than current. Leading lower-case "v"s
// of remote are ignored; versions compare piece by piece ("1.0.10" > "1.0.9"),
// pieces that are not unsigned 32-bit numbers are left out, and with equal
// common pieces the longer list wins.
bool is_newer_version(std::string_view remote, std::string_view current);

}  // namespace qz

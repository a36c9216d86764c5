#pragma once

#include <cstddef>

namespace qz::test {

// How many descriptors this process holds open right now, so a test can see
// that what an object opened is closed again when it goes.
size_t open_descriptor_count();

}  // namespace qz::test

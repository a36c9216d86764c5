#include "main/startup.h"

namespace qz {

int run_program(int, char**) { return 0; }

}  // namespace qz

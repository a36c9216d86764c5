#pragma once

namespace qz {

// The whole program: command line, start-up, main loop, shutdown. Returns the
// process exit status.
int run_program(int argc, char** argv);

}  // namespace qz

#pragma once

#include <cstdlib>
#include <system_error>
#include <thread>
#include <utility>

#include "common/log.h"

namespace qz {

inline constexpr int SPAWN_FAILURE_STATUS = 1;

// Starts a worker that is never joined. The program cannot go on without its
// workers, so one that cannot be started ends the process, at start-up or
// later alike.
template <class F>
void spawn_detached(F&& body) {
    try {
        std::thread(std::forward<F>(body)).detach();
    } catch (const std::system_error&) {
        log::plain("failed to spawn thread");
        std::_Exit(SPAWN_FAILURE_STATUS);
    }
}

}  // namespace qz

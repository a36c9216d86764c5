#include "thumbnail/poster_download.h"

#include <csignal>

#include "process/command.h"
#include "process/curl_args.h"

namespace qz {

// The body is read incrementally from a piped child rather than captured
// whole, so that a hostile or broken server cannot make a worker hold more
// than max_bytes. curl's stderr is not needed (it is silent with -s).
DownloadResult download_poster(const std::string& url, size_t max_bytes) {
    if (!is_fetchable_url(url)) return DownloadFailure{EMPTY_IMAGE_PAYLOAD};
    SpawnResult spawned = spawn_piped("curl", curl_args_poster(url));
    if (auto* error = std::get_if<SpawnError>(&spawned)) return DownloadFailure{"Curl error: " + error->message};
    ChildProcess& child = std::get<ChildProcess>(spawned);

    std::string body;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = child.read_some(buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            child.kill(SIGKILL);
            child.wait();
            return DownloadFailure{EMPTY_IMAGE_PAYLOAD};
        }
        if (static_cast<size_t>(n) > max_bytes - body.size()) {
            child.kill(SIGKILL);
            child.wait();
            return DownloadFailure{IMAGE_PAYLOAD_TOO_LARGE};
        }
        body.append(buffer, static_cast<size_t>(n));
    }
    if (child.wait() != 0 || body.empty()) return DownloadFailure{EMPTY_IMAGE_PAYLOAD};
    return body;
}

}  // namespace qz

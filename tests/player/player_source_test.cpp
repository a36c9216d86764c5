// ctest-labels: host
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "player/player_control.h"
#include "process/command.h"
#include "support/env_guard.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "support/stderr_capture.h"
#include "support/loopback_server.h"
#include "support/fw_device.h"

namespace qz {
namespace {

// Python's own http.server on a port it picks, serving a temporary folder;
// its log on standard error tells which paths were asked for.
class StaticHttpServer {
public:
    StaticHttpServer() {
        test::make_dirs(files_ / "www");
        const std::string python = ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
        auto spawned = spawn_shell("exec " + python + " -u -m http.server 0 --bind 127.0.0.1 --directory '" +
                                   (files_ / "www") + "' >'" + (files_ / "out") + "' 2>'" + (files_ / "err") + "'");
        if (auto* child = std::get_if<ChildProcess>(&spawned)) child_ = std::move(*child);
        // "Serving HTTP on 127.0.0.1 port N (...) ..." once it listens.
        test::fw_wait_until([&] {
            const std::string out = test::read_file(files_ / "out");
            const size_t at = out.find(" port ");
            if (at != std::string::npos) port_ = std::atoi(out.c_str() + at + 6);
            return port_ > 0 || child_.try_wait().has_value();
        });
    }

    bool running() const { return port_ > 0; }
    std::string url(const std::string& target) const { return "http://127.0.0.1:" + std::to_string(port_) + target; }
    void put(const std::string& path, const std::string& bytes) const { test::write_file(files_ / ("www/" + path), bytes); }
    // Request targets in order, as the server logged them.
    std::vector<std::string> requests() const {
        std::vector<std::string> out;
        std::istringstream log(test::read_file(files_ / "err"));
        for (std::string line; std::getline(log, line);) {
            const size_t at = line.find("\"GET ");
            if (at != std::string::npos) out.push_back(line.substr(at + 5, line.find(' ', at + 5) - at - 5));
        }
        return out;
    }

private:
    test::TempDir files_;
    ChildProcess child_;
    int port_ = 0;
};

// The playlist fetch runs the real curl against the loopback server; the
// rewritten playlist lands under a device root.
class PlayerSourceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.running()); }

    std::string playlist_path() const { return root_ / "tmp/trimui_player/stream.m3u8"; }

    test::TempDir root_;
    test::EnvGuard env_{"QZ_DEVICE_ROOT", root_.path()};
    StaticHttpServer server_;
};

TEST_F(PlayerSourceTest, PlaylistIsRewrittenAndItsPathHandedOn) {
    server_.put("hls/show/index.m3u8",
                "#EXTM3U\r\n#EXT-X-VERSION:3\r\n#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\"\r\n\r\n"
                "#EXTINF:10.0,\r\nseg0.ts\r\n#EXTINF:10.0,\r\n  /other/seg1.ts  \r\n"
                "#EXTINF:10.0,\r\nhttps://cdn.example/seg2.ts\r\n#EXT-X-ENDLIST");
    const std::string url = server_.url("/hls/show/index.m3u8");
    const std::string origin = server_.url("");
    test::StderrCapture log;

    EXPECT_EQ(prepare_player_source(url), playlist_path());
    EXPECT_EQ(test::read_file(playlist_path()),
              "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\"\n"
              "#EXTINF:10.0,\n" + origin + "/hls/show/seg0.ts\n#EXTINF:10.0,\n" + origin + "/other/seg1.ts\n"
              "#EXTINF:10.0,\nhttps://cdn.example/seg2.ts\n#EXT-X-ENDLIST\n");
    EXPECT_EQ(log.text(), "[Player] Successfully prepared local rewritten HLS playlist: " + playlist_path() + "\n");
    EXPECT_EQ(server_.requests(), std::vector<std::string>{"/hls/show/index.m3u8"});
}

TEST_F(PlayerSourceTest, SignedUrlWithSlashInItsTokenAndBytesThatAreNotUtf8) {
    server_.put("live/index.m3u8", "#EXTM3U\nseg\xff" "0.ts\n");
    const std::string url = server_.url("/live/index.m3u8?token=a/b+c==&exp=9");
    EXPECT_EQ(prepare_player_source(url), playlist_path());
    EXPECT_EQ(test::read_file(playlist_path()), "#EXTM3U\n" + server_.url("/live/seg\xEF\xBF\xBD" "0.ts") + "\n");
}

// curl runs without -f: an error page is a successful, non-empty transfer
// like any other, so it is rewritten and handed on; the player then fails on
// it as it would have failed on the URL itself.
TEST_F(PlayerSourceTest, ErrorPageCountsAsAFetchedPlaylist) {
    const std::string url = server_.url("/hls/missing/index.m3u8");
    EXPECT_EQ(prepare_player_source(url), playlist_path());
    const std::string written = test::read_file(playlist_path());
    EXPECT_EQ(written.rfind(server_.url("/hls/missing/") + "<!DOCTYPE HTML>\n", 0), 0u) << written;
}

TEST_F(PlayerSourceTest, FailedFetchesGiveTheUrlUnchanged) {
    server_.put("hls/empty.m3u8", "");
    struct Case {
        const char* name;
        std::string url;
    };
    const std::vector<Case> cases = {
        {"empty answer", server_.url("/hls/empty.m3u8")},
        {"connection refused", "http://127.0.0.1:" + std::to_string(test::closed_port()) + "/a.m3u8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(prepare_player_source(c.url), c.url);
        EXPECT_FALSE(test::path_exists(playlist_path()));
    }
}

TEST_F(PlayerSourceTest, OtherUrlsAreHandedOnWithoutAFetch) {
    server_.put("film.mp4", "not a playlist");
    const std::vector<std::string> urls = {
        server_.url("/film.mp4"),
        "httpx://127.0.0.1:1/a.m3u8",     // starts with "http" but is no web URL
        "rtmp://127.0.0.1/live/a.m3u8",
        "/mnt/SDCARD/Videos/a.m3u8",
        "",
    };
    for (const auto& url : urls) {
        SCOPED_TRACE(url);
        EXPECT_EQ(prepare_player_source(url), url);
    }
    EXPECT_TRUE(server_.requests().empty());
    EXPECT_FALSE(test::path_exists(playlist_path()));
}

TEST_F(PlayerSourceTest, NoControlDirectoryOrNoCurlGivesTheUrlUnchanged) {
    server_.put("a.m3u8", "#EXTM3U\nseg.ts\n");
    const std::string url = server_.url("/a.m3u8");
    test::write_file(root_ / "tmp/trimui_player", "a file where the folder belongs");
    EXPECT_EQ(prepare_player_source(url), url);
    ASSERT_EQ(::unlink((root_ / "tmp/trimui_player").c_str()), 0);
    {
        test::TempDir empty_bin;
        test::EnvGuard path("PATH", empty_bin.path());
        EXPECT_EQ(prepare_player_source(url), url);
    }
    EXPECT_TRUE(server_.requests().empty());
    EXPECT_FALSE(test::path_exists(playlist_path()));
}

}  // namespace
}  // namespace qz

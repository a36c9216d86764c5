// ctest-labels: threads
#include "catalog/catalog_fetch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "main/app_workers.h"
#include "process/curl_args.h"
#include "support/env_guard.h"
#include "support/files.h"
#include "support/loopback_server.h"
#include "support/stderr_capture.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

using namespace std::chrono_literals;
using test::CatalogServer;
using test::EnvGuard;
using test::stderr_of;
using test::TempDir;

std::vector<std::string> ids(const std::vector<MediaItem>& items) {
    std::vector<std::string> out;
    for (const auto& m : items) out.push_back(m.id);
    return out;
}

class CatalogFetch : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<CatalogServer>(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(server_->running()) << server_->error();
        ASSERT_TRUE(server_->reset());
        auto [tx, rx] = make_channel<WorkerMessage>();
        tx_ = std::move(tx);
        rx_ = std::move(rx);
    }

    std::string base() const { return server_->base_url(); }

    WorkerMessage next() {
        auto m = rx_.recv_for(20s);
        if (!m) throw std::runtime_error("no worker message within 20 s");
        return std::move(*m);
    }

    // The application's workers, asking base_url.
    AppWorkers workers(const std::string& base_url) {
        AppConfig config = build_app_config();
        config.catalog_base_url = base_url;
        return AppWorkers(tx_, config);
    }

    std::map<std::string, ItemsResult> all_shelves(const std::string& base_url) {
        workers(base_url).fetch_all_shelves();
        std::map<std::string, ItemsResult> by_key;
        for (int i = 0; i < 4; ++i) {
            auto loaded = std::get<CatalogLoaded>(next());
            EXPECT_FALSE(by_key.count(loaded.key)) << "two messages for " << loaded.key;
            by_key[loaded.key] = std::move(loaded.result);
        }
        return by_key;
    }

    DetailResult detail(const std::string& slug, const std::string& base_url) {
        workers(base_url).fetch_detail(slug);
        return std::get<DetailLoaded>(next()).result;
    }

    SearchFinished search(const std::string& query, const std::string& base_url) {
        workers(base_url).start_search(query);
        return std::get<SearchFinished>(next());
    }

    nlohmann::json requests() { return nlohmann::json::parse(server_->requests_json()); }

    static std::unique_ptr<CatalogServer> server_;
    Sender<WorkerMessage> tx_;
    Receiver<WorkerMessage> rx_;
};

std::unique_ptr<CatalogServer> CatalogFetch::server_;

TEST_F(CatalogFetch, AllShelvesInOneMessageEach) {
    std::map<std::string, ItemsResult> shelves;
    std::string log = stderr_of([&] { shelves = all_shelves(base()); });
    ASSERT_EQ(shelves.size(), 4u);
    for (const auto& [key, result] : shelves) {
        ASSERT_TRUE(std::holds_alternative<std::vector<MediaItem>>(result)) << key << ": " << std::get<1>(result);
    }
    const auto& le = std::get<0>(shelves.at("phim-le"));
    // The service's order: sorting is the main loop's job.
    EXPECT_EQ(ids(le), (std::vector<std::string>{"pl-1", "pl-2", "pl-3", "pl-4"}));
    EXPECT_EQ(le[0].title, "Mắt Biếc");
    EXPECT_EQ(le[0].thumbnail, base() + "/posters/mat-biec.png");
    EXPECT_EQ(le[1].year, RawJson{"\"2024\""});
    EXPECT_EQ(le[2].year, std::nullopt);
    EXPECT_EQ(ids(std::get<0>(shelves.at("phim-bo"))), (std::vector<std::string>{"pb-1", "pb-2"}));
    EXPECT_TRUE(std::get<0>(shelves.at("hoat-hinh")).empty());
    EXPECT_EQ(std::get<0>(shelves.at("trending"))[0].year, RawJson{"2023.0"});

    std::set<std::string> paths;
    for (const auto& r : requests()) {
        paths.insert(r["path"].get<std::string>());
        EXPECT_EQ(r["user_agent"], USER_AGENT_FULL);
        EXPECT_EQ(r["method"], "GET");
    }
    EXPECT_EQ(paths, (std::set<std::string>{"/api/videos/home?category=phim-le", "/api/videos/home?category=phim-bo",
                                            "/api/videos/home?category=hoat-hinh", "/api/videos/home"}));
    for (const char* p : {"/api/videos/home?category=phim-le\n", "/api/videos/home\n"}) {
        EXPECT_NE(log.find("[Nuvalto] Fetching catalog from: " + base() + p), std::string::npos) << log;
    }
}

TEST_F(CatalogFetch, DetailWithOneAndManyEpisodes) {
    auto one = detail("mat-biec", base());
    ASSERT_TRUE(std::holds_alternative<MediaDetail>(one)) << std::get<std::string>(one);
    const auto& d = std::get<MediaDetail>(one);
    EXPECT_EQ(d.description, "Ngạn yêu Hà Lan từ thuở nhỏ.");
    ASSERT_TRUE(d.episodes);
    ASSERT_EQ(d.episodes->size(), 1u);
    EXPECT_EQ(d.episodes->at(0), (EpisodeItem{"Full", base() + "/streams/mat-biec/full.m3u8", "VIP", 1u}));

    std::string log = stderr_of([&] {
        auto many = detail("hanh-trinh-dai", base());
        ASSERT_TRUE(std::holds_alternative<MediaDetail>(many)) << std::get<std::string>(many);
        const auto& eps = *std::get<MediaDetail>(many).episodes;
        ASSERT_EQ(eps.size(), 12u);
        EXPECT_EQ(eps[2].server_name, "Server VIP");
        EXPECT_EQ(eps[0].server_name, std::nullopt);
        EXPECT_EQ(eps[10].number, 11u);
        EXPECT_EQ(eps[11].number, std::nullopt);
    });
    EXPECT_EQ(log, "[Nuvalto] Fetching detail from: " + base() + "/api/videos/hanh-trinh-dai\n");
}

TEST_F(CatalogFetch, DetailErrorsBecomeDetailTexts) {
    auto string_number = detail("so-tap-chu", base());
    ASSERT_TRUE(std::holds_alternative<std::string>(string_number));
    EXPECT_TRUE(std::get<std::string>(string_number)
                    .starts_with("JSON detail error: invalid type: string \"3\", expected u32 at line 1 column"))
        << std::get<std::string>(string_number);
    // An unknown slug gets the service's HTML 404 page: a JSON error, not a
    // transfer failure (no -f).
    auto missing = detail("khong-co", base());
    ASSERT_TRUE(std::holds_alternative<std::string>(missing));
    EXPECT_TRUE(std::get<std::string>(missing).starts_with("JSON detail error: parse error at line 1, column 1"))
        << std::get<std::string>(missing);
}

TEST_F(CatalogFetch, SearchTrimsEncodesAndKeepsTheQuery) {
    SearchFinished found;
    std::string log = stderr_of([&] { found = search("  MAT BIEC \t", base()); });
    EXPECT_EQ(found.query, "  MAT BIEC \t");
    ASSERT_TRUE(std::holds_alternative<std::vector<MediaItem>>(found.result)) << std::get<std::string>(found.result);
    EXPECT_EQ(ids(std::get<0>(found.result)), (std::vector<std::string>{"pl-1"}));
    auto seen = requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]["path"], "/api/videos/search?q=MAT+BIEC");
    EXPECT_EQ(log, "[Nuvalto] Searching: " + base() + "/api/videos/search?q=MAT+BIEC\n");

    auto none = search("ZZZ", base());
    ASSERT_TRUE(std::holds_alternative<std::vector<MediaItem>>(none.result));
    EXPECT_TRUE(std::get<0>(none.result).empty());
}

TEST(SearchUrl, OnlySpacesAreEncoded) {
    EXPECT_EQ(search_url("http://h", "MAT BIEC"), "http://h/api/videos/search?q=MAT+BIEC");
    EXPECT_EQ(search_url("http://h", " A  B "), "http://h/api/videos/search?q=A++B");
    EXPECT_EQ(search_url("http://h", "\u3000BO GIA\u00a0"), "http://h/api/videos/search?q=BO+GIA");
    EXPECT_EQ(search_url("http://h", "A&B=C%20"), "http://h/api/videos/search?q=A&B=C%20");
    EXPECT_EQ(detail_url("http://h", "a b/c"), "http://h/api/videos/a b/c");
}

// How a failed request reads in each of the three messages.
struct FailCase {
    const char* name;
    std::string mode;  // server mode query; "refused" = nothing listening
    std::string shelf, detail, search;
    bool exact;  // exact texts, else prefixes
};

void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

class CatalogFetchFailure : public CatalogFetch, public ::testing::WithParamInterface<FailCase> {};

TEST_P(CatalogFetchFailure, ErrorTexts) {
    const auto& c = GetParam();
    std::string url = base();
    if (c.mode == "refused") {
        url = "http://127.0.0.1:" + std::to_string(test::closed_port());
    } else {
        ASSERT_TRUE(server_->set_mode(c.mode));
    }
    auto check = [&](const ItemsResult& r, const std::string& want) {
        ASSERT_TRUE(std::holds_alternative<std::string>(r)) << "succeeded";
        const auto& text = std::get<std::string>(r);
        if (c.exact) {
            EXPECT_EQ(text, want);
        } else {
            EXPECT_TRUE(text.starts_with(want)) << text;
        }
    };
    auto shelves = all_shelves(url);
    for (const auto& [key, r] : shelves) check(r, c.shelf);
    auto d = detail("mat-biec", url);
    ASSERT_TRUE(std::holds_alternative<std::string>(d));
    if (c.exact) {
        EXPECT_EQ(std::get<std::string>(d), c.detail);
    } else {
        EXPECT_TRUE(std::get<std::string>(d).starts_with(c.detail)) << std::get<std::string>(d);
    }
    check(search("MAT", url).result, c.search);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CatalogFetchFailure,
    ::testing::Values(
        FailCase{"Html404", "mode=html404", "JSON parse error: parse error at line 1, column 1",
                 "JSON detail error: parse error at line 1, column 1", "JSON parse error: parse error at line 1, column 1",
                 false},
        FailCase{"ServerError", "mode=status&status=503", "JSON parse error: ", "JSON detail error: ",
                 "JSON parse error: ", false},
        FailCase{"InvalidJson", "mode=invalid", "JSON parse error: parse error at line 1",
                 "JSON detail error: parse error at line 1",
                 "JSON parse error: parse error at line 1", false},
        FailCase{"ClosedWithoutAnswer", "mode=close", "Failed to connect to streaming server",
                 "Failed to fetch media metadata", "Failed to search movies", true},
        FailCase{"ConnectionRefused", "refused", "Failed to connect to streaming server",
                 "Failed to fetch media metadata", "Failed to search movies", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CatalogFetch, SlowAnswerStillArrives) {
    ASSERT_TRUE(server_->set_mode("mode=slow&delay=0.4&path=/api/videos/mat-biec"));
    auto start = std::chrono::steady_clock::now();
    auto d = detail("mat-biec", base());
    EXPECT_TRUE(std::holds_alternative<MediaDetail>(d));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
}

// Fake programs put first in PATH for one test.
class FakeCurl {
public:
    // script is the body of a shell script named curl.
    explicit FakeCurl(const std::string& script)
        : path_guard_("PATH", test::path_with_prefix(dir_.path())) {
        test::write_script(dir_ / "curl", script);
    }
    std::string file(const std::string& name) const { return dir_ / name; }

private:
    TempDir dir_;
    EnvGuard path_guard_;
};

TEST_F(CatalogFetch, ServerThatNeverAnswersEndsAtCurlsTimeLimit) {
    // The real limit is 12 s; the wrapper shortens it so the suite stays fast.
    std::string real = test::find_in_path("curl");
    ASSERT_FALSE(real.empty());
    ASSERT_TRUE(server_->set_mode("mode=hang"));
    FakeCurl wrapper("exec '" + real + "' \"$@\" --max-time 0.5\n");
    auto start = std::chrono::steady_clock::now();
    auto d = detail("mat-biec", base());
    ASSERT_TRUE(std::holds_alternative<std::string>(d));
    EXPECT_EQ(std::get<std::string>(d), "Failed to fetch media metadata");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(CatalogFetch, CurlMissingFromPath) {
    TempDir empty;
    EnvGuard path("PATH", empty.path());
    std::string want = "Curl execution error: No such file or directory";
    for (const auto& [key, r] : all_shelves(base())) {
        ASSERT_TRUE(std::holds_alternative<std::string>(r));
        EXPECT_EQ(std::get<std::string>(r), want) << key;
    }
    EXPECT_EQ(std::get<std::string>(detail("mat-biec", base())), want);
    EXPECT_EQ(std::get<std::string>(search("A", base()).result), want);
}

TEST_F(CatalogFetch, OnlyHttpUrlsReachCurl) {
    FakeCurl recorder("printf '%s\\n' \"$@\" >> \"$(dirname \"$0\")/calls\"\nprintf '[]'\n");
    for (std::string bad : {"", "ftp://127.0.0.1", "-o/tmp/qz_owned", "file:///etc", " http://127.0.0.1"}) {
        for (const auto& [key, r] : all_shelves(bad)) {
            ASSERT_TRUE(std::holds_alternative<std::string>(r)) << bad;
            EXPECT_EQ(std::get<std::string>(r), "Failed to connect to streaming server");
        }
        EXPECT_EQ(std::get<std::string>(detail("x", bad)), "Failed to fetch media metadata");
        EXPECT_EQ(std::get<std::string>(search("x", bad).result), "Failed to search movies");
    }
    EXPECT_FALSE(std::filesystem::exists(recorder.file("calls")));

    // The recorder does see a good URL, with exactly the API argument set.
    auto d = search("x", "http://qz.invalid");
    EXPECT_TRUE(std::holds_alternative<std::vector<MediaItem>>(d.result));
    std::string expected;
    for (const auto& a : curl_args_catalog("http://qz.invalid/api/videos/search?q=x")) expected += a + "\n";
    EXPECT_EQ(test::read_file(recorder.file("calls")), expected);
}

TEST_F(CatalogFetch, ClosedResultsChannelIsHarmless) {
    rx_.reset();
    workers(base()).fetch_detail("mat-biec");
    // The worker finishes its request and drops its message quietly.
    for (int i = 0; i < 100 && requests().empty(); ++i) std::this_thread::sleep_for(20ms);
    EXPECT_EQ(requests().size(), 1u);
    std::this_thread::sleep_for(100ms);
}

}  // namespace
}  // namespace qz

namespace qz {
namespace {

TEST(DemoCatalog, ServesEveryShelfDetailsAndPosters) {
    TempDir dir;
    std::string port_file = (dir / "port");
    CatalogServer demo({"--data", std::string(QZ_SOURCE_DIR) + "/tools/fixtures/demo", "--port-file", port_file});
    ASSERT_TRUE(demo.running()) << demo.error();
    EXPECT_EQ(test::read_file(port_file), std::to_string(demo.port()) + "\n");

    auto [tx, rx] = make_channel<WorkerMessage>();
    AppConfig config = build_app_config();
    config.catalog_base_url = demo.base_url();
    AppWorkers workers(tx, config);
    workers.fetch_all_shelves();
    std::string many_slug;
    for (int i = 0; i < 4; ++i) {
        auto m = rx.recv_for(20s);
        ASSERT_TRUE(m);
        auto& loaded = std::get<CatalogLoaded>(*m);
        ASSERT_TRUE(std::holds_alternative<std::vector<MediaItem>>(loaded.result)) << std::get<1>(loaded.result);
        const auto& items = std::get<0>(loaded.result);
        EXPECT_GE(items.size(), 12u) << loaded.key;
        if (loaded.key == "phim-bo") many_slug = items.back().slug;
    }
    workers.fetch_detail(many_slug);
    auto m = rx.recv_for(20s);
    ASSERT_TRUE(m);
    auto& d = std::get<DetailLoaded>(*m).result;
    ASSERT_TRUE(std::holds_alternative<MediaDetail>(d)) << std::get<std::string>(d);
    EXPECT_GT(std::get<MediaDetail>(d).episodes->size(), 1u);

    int status = 0;
    std::string png = demo.get("/posters/" + many_slug + ".png", &status);
    EXPECT_EQ(status, 200);
    EXPECT_TRUE(png.starts_with("\x89PNG\r\n\x1a\n"));
}

}  // namespace
}  // namespace qz

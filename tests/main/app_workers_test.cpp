// ctest-labels: host
#include "main/app_workers.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <ostream>

#include "update/ota_client.h"

namespace qz {
namespace {

// A default thread stack larger than any memory makes every new thread fail
// to start, as on a device out of memory.
void make_thread_creation_fail() {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, size_t{1} << 42);
    pthread_setattr_default_np(&attr);
    pthread_attr_destroy(&attr);
}

struct StartCase {
    const char* name;
    std::function<void(AppWorkers&)> start;
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class WorkerThatCannotStart : public testing::TestWithParam<StartCase> {};

// Not only at start-up: a reload, a detail, a search or an update asked for
// later ends the program the same way, instead of an uncaught exception.
TEST_P(WorkerThatCannotStart, EndsTheProgramWithStatus1) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "sanitizer runtimes report their own failure for such a stack";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto run = [&] {
        auto [tx, rx] = make_channel<WorkerMessage>();
        AppConfig config = build_app_config();
        config.catalog_base_url = "http://127.0.0.1:9";
        config.update_manifest_url = "http://127.0.0.1:9/ota/qz-nuvalto.json";
        AppWorkers workers(tx, config);
        make_thread_creation_fail();
        GetParam().start(workers);
    };
    EXPECT_EXIT(run(), testing::ExitedWithCode(1), "failed to spawn thread");
}

INSTANTIATE_TEST_SUITE_P(
    Requests, WorkerThatCannotStart,
    testing::Values(
        StartCase{"ShelfReload", [](AppWorkers& w) { w.fetch_all_shelves(); }},
        StartCase{"Detail", [](AppWorkers& w) { w.fetch_detail("slug"); }},
        StartCase{"Search", [](AppWorkers& w) { w.start_search("conan"); }},
        StartCase{"UpdateCheck", [](AppWorkers& w) { w.start_update_check(); }},
        StartCase{"UpdateInstall",
                  [](AppWorkers& w) {
                      w.start_update_install(OtaManifest{"9.9.9", "n", "c", "http://127.0.0.1:9/p.zip", "", 1.0f});
                  }}),
    [](const testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qz

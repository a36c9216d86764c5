#include "update/ota_client.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string_view>

#include "common/detached_thread.h"
#include "common/device_path.h"
#include "common/device_paths.h"
#include "common/log.h"
#include "common/utf8.h"
#include "process/command.h"
#include "process/curl_args.h"
#include "update/ota_manifest_reader.h"
#include "update/version.h"

namespace qz {

namespace {

std::atomic<bool> g_install_running{false};

// The body of a successful, non-empty curl run; nullopt otherwise.
std::optional<std::string> fetch_body(const std::vector<std::string>& args) {
    auto result = run_capture("curl", args);
    auto* out = std::get_if<CommandOutput>(&result);
    if (out == nullptr || !out->ok() || out->stdout_data.empty()) return std::nullopt;
    return std::move(out->stdout_data);
}

bool path_exists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

bool succeeded(const RunWaitResult& r) {
    const int* status = std::get_if<int>(&r);
    return status != nullptr && *status == 0;
}

// The hex digest sha256sum prints first; a leading "\" marks an escaped name.
std::optional<std::string> sha256_of(const std::string& path) {
    auto result = run_capture("sha256sum", {"--", path});
    auto* out = std::get_if<CommandOutput>(&result);
    if (out == nullptr || !out->ok()) return std::nullopt;
    std::string_view text = out->stdout_data;
    if (!text.empty() && text.front() == '\\') text.remove_prefix(1);
    std::string digest(text.substr(0, text.find_first_of(" \t\n")));
    if (digest.size() != 64) return std::nullopt;
    return utf8::to_lower_ascii(digest);
}

// nullopt when the package matches (or no checksum is given).
std::optional<std::string> verify_package(const std::string& package, const std::string& expected_sha256) {
    const std::string expected = utf8::to_lower_ascii(utf8::trim(expected_sha256));
    if (expected.empty()) return std::nullopt;
    auto actual = sha256_of(package);
    if (!actual) return UPDATE_ERR_VERIFY;
    if (*actual != expected) return UPDATE_ERR_CHECKSUM;
    return std::nullopt;
}

std::string own_executable_path() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

// The install thread's body. running, when given, is cleared before Failed
// is sent, so the panel can offer a new try as soon as it shows the failure.
void install_and_report(const UpdateInstallOptions& options, const UpdateReport& report, std::atomic<bool>* running) {
    report(UpdateDownloading{});
    if (auto error = install_update_package(options)) {
        if (running) running->store(false);
        report(UpdateFailed{std::move(*error)});
        return;
    }
    options.exit_process(UPDATE_EXIT_STATUS);
    // Reached only when a test replaced the exit.
    if (running) running->store(false);
}

}  // namespace

UpdateCheckResult check_for_update(const UpdateCheckOptions& options) {
    log::ota("Checking for updates from: " + options.manifest_url);
    std::optional<std::string> body;
    if (is_fetchable_url(options.manifest_url)) body = fetch_body(curl_args_manifest_primary(options.manifest_url));
    if (!body) {
        log::ota("Primary endpoint unreachable, checking fallback...");
        body = fetch_body(curl_args_manifest_fallback());
        if (!body) return std::string(UPDATE_ERR_UNREACHABLE);
    }
    auto manifest = parse_ota_manifest(utf8::make_valid(*body));
    if (!manifest) return std::string(UPDATE_ERR_INVALID_MANIFEST);
    if (is_newer_version(manifest->version, options.current_version)) {
        log::ota("Found new version: " + manifest->version + " (current: " + options.current_version + ")");
        return std::move(*manifest);
    }
    log::ota("App is already up to date: " + options.current_version);
    return NoNewerVersion{};
}

std::string choose_install_target(const std::string& app_dir, const std::string& executable_path) {
    if (path_exists(app_dir)) return app_dir;
    if (executable_path.empty()) return app_dir;
    const std::filesystem::path exe(executable_path);
    // The root has no parent: "/x" has no directory two levels up.
    const auto parent_of = [](const std::filesystem::path& p) -> std::optional<std::filesystem::path> {
        if (p.empty() || p == p.root_path() || !p.has_relative_path()) return std::nullopt;
        return p.parent_path();
    };
    auto bin = parent_of(exe);
    if (!bin) return app_dir;
    auto top = parent_of(*bin);
    if (!top) return app_dir;
    return utf8::make_valid(top->string());
}

std::optional<std::string> install_update_package(const UpdateInstallOptions& options) {
    log::ota("Starting download from: " + options.download_url);
    const std::string exe = options.executable_path.empty() ? own_executable_path() : options.executable_path;
    const std::string target = choose_install_target(device_path(paths::APP_DIR), exe);
    const std::string package = device_path(paths::UPDATE_DOWNLOAD);

    ::unlink(package.c_str());
    if (!is_fetchable_url(options.download_url) ||
        !succeeded(run_wait("curl", curl_args_update_download(options.download_url, package)))) {
        return UPDATE_ERR_DOWNLOAD;
    }
    if (auto error = verify_package(package, options.sha256)) {
        ::unlink(package.c_str());
        return error;
    }

    log::ota("Download completed. Extracting to: " + target);
    // Info-ZIP drops "../" components and leading "/" of entry names, so
    // every entry lands inside the target.
    const bool extracted = succeeded(run_wait("unzip", {"-o", package, "-d", target}));
    ::unlink(package.c_str());
    if (!extracted) return UPDATE_ERR_EXTRACT;

    for (const char* name : {"/bin/qz-nuvalto-native64", "/bin/qz-nuvalto-native", "/launch.sh"}) {
        run_wait("chmod", {"+x", target + name});
    }
    log::ota("Update successfully applied! Restarting QZ-Nuvalto...");
    return std::nullopt;
}

bool update_install_running() { return g_install_running.load(); }

void run_update_check(const UpdateCheckOptions& options, const UpdateCheckDone& done) {
    done(check_for_update(options));
}

void run_update_install(const UpdateInstallOptions& options, const UpdateReport& report) {
    install_and_report(options, report, nullptr);
}

void start_update_check(UpdateCheckOptions options, UpdateCheckDone done) {
    spawn_detached([options = std::move(options), done = std::move(done)] { run_update_check(options, done); });
}

bool start_update_install(UpdateInstallOptions options, UpdateReport report) {
    bool idle = false;
    if (!g_install_running.compare_exchange_strong(idle, true)) return false;
    spawn_detached([options = std::move(options), report = std::move(report)] {
        install_and_report(options, report, &g_install_running);
    });
    return true;
}

}  // namespace qz

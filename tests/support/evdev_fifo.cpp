#include "support/evdev_fifo.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "support/files.h"

namespace qz::test {

std::array<uint8_t, 24> evdev_record(uint16_t type, uint16_t code, int32_t value) {
    std::array<uint8_t, 24> r{};
    for (size_t i = 0; i < 16; ++i) r[i] = static_cast<uint8_t>(0xA0 + i);
    std::memcpy(r.data() + 16, &type, 2);
    std::memcpy(r.data() + 18, &code, 2);
    std::memcpy(r.data() + 20, &value, 4);
    return r;
}

std::vector<uint8_t> evdev_records(std::initializer_list<std::array<int32_t, 3>> events) {
    std::vector<uint8_t> out;
    for (const auto& e : events) {
        auto r = evdev_record(static_cast<uint16_t>(e[0]), static_cast<uint16_t>(e[1]), e[2]);
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

EventFifo::EventFifo(std::string path) : path_(std::move(path)) {
    make_fifo(path_);
    fd_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("cannot open fifo: " + path_);
}

EventFifo::~EventFifo() {
    if (fd_ >= 0) ::close(fd_);
    ::unlink(path_.c_str());
}

void EventFifo::write_bytes(const std::vector<uint8_t>& bytes) {
    // One write call, so the reader sees exactly this chunk (pipes keep writes
    // below PIPE_BUF whole).
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n != static_cast<ssize_t>(bytes.size())) throw std::runtime_error("short fifo write");
}

void EventFifo::write_event(uint16_t type, uint16_t code, int32_t value) {
    auto r = evdev_record(type, code, value);
    write_bytes(std::vector<uint8_t>(r.begin(), r.end()));
}

int EventFifo::pending() const {
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) != 0) return -1;
    return n;
}

bool EventFifo::wait_drained(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pending() != 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

AppEventFifos make_app_event_fifos(const std::string& root) {
    AppEventFifos fifos;
    for (size_t i = 0; i < fifos.size(); ++i) {
        fifos[i] = std::make_unique<EventFifo>(root + "/dev/input/event" + std::to_string(i));
    }
    return fifos;
}

}  // namespace qz::test

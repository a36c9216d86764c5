#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace qz::test {

// Event types and key values as the kernel writes them.
inline constexpr uint16_t EV_KEY_TYPE = 1;
inline constexpr uint16_t EV_ABS_TYPE = 3;
inline constexpr int32_t KEY_RELEASED = 0;
inline constexpr int32_t KEY_PRESSED = 1;
inline constexpr int32_t KEY_REPEATED = 2;

// A 24-byte evdev record as the 64-bit kernel writes it (time stamp filled
// with a non-zero pattern so a parser that reads it as fields stands out).
std::array<uint8_t, 24> evdev_record(uint16_t type, uint16_t code, int32_t value);
std::vector<uint8_t> evdev_records(std::initializer_list<std::array<int32_t, 3>> events);

// A named pipe standing in for an evdev node (root/dev/input/eventN). The
// test holds it open for reading and writing, so the program's non-blocking
// reader sees "no data" rather than end-of-file, and writes never block.
class EventFifo {
public:
    explicit EventFifo(std::string path);
    ~EventFifo();
    EventFifo(const EventFifo&) = delete;
    EventFifo& operator=(const EventFifo&) = delete;

    const std::string& path() const { return path_; }
    void write_bytes(const std::vector<uint8_t>& bytes);
    // Any record: key press 1, release 0, auto-repeat 2, an axis position...
    void write_event(uint16_t type, uint16_t code, int32_t value);
    void press(uint16_t code) { write_event(EV_KEY_TYPE, code, KEY_PRESSED); }
    void release(uint16_t code) { write_event(EV_KEY_TYPE, code, KEY_RELEASED); }
    void repeat(uint16_t code) { write_event(EV_KEY_TYPE, code, KEY_REPEATED); }
    void axis(uint16_t code, int32_t value) { write_event(EV_ABS_TYPE, code, value); }
    // Bytes written and not yet read by anyone.
    int pending() const;
    // True once the reader took everything, false after the timeout.
    bool wait_drained(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    std::string path_;
    int fd_ = -1;
};

// The four nodes the application's input thread reads, event0..3, as FIFOs
// under a device root.
using AppEventFifos = std::array<std::unique_ptr<EventFifo>, 4>;
AppEventFifos make_app_event_fifos(const std::string& root);

}  // namespace qz::test

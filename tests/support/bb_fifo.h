#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qz::test {

// A 24-byte evdev record as the 64-bit kernel writes it (time stamp filled
// with a non-zero pattern so a parser that reads it as fields stands out).
std::array<uint8_t, 24> evdev_record(uint16_t type, uint16_t code, int32_t value);
std::vector<uint8_t> evdev_records(std::initializer_list<std::array<int32_t, 3>> events);

// A named pipe standing in for an evdev node. The test holds it open for
// reading and writing, so the program's non-blocking reader sees "no data"
// rather than end-of-file, and writes never block.
class EventFifo {
public:
    explicit EventFifo(std::string path);
    ~EventFifo();
    EventFifo(const EventFifo&) = delete;
    EventFifo& operator=(const EventFifo&) = delete;

    const std::string& path() const { return path_; }
    void write_bytes(const std::vector<uint8_t>& bytes);
    void write_event(uint16_t type, uint16_t code, int32_t value);
    // Bytes written and not yet read by anyone.
    int pending() const;
    // True once the reader took everything, false after the timeout.
    bool wait_drained(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace qz::test

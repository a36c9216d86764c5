// ctest-labels: threads
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/channel.h"
#include "input/input_thread.h"
#include "support/evdev_fifo.h"
#include "support/stderr_capture.h"
#include "support/temp_dir.h"

namespace qz {
namespace {

using namespace std::chrono_literals;

constexpr uint16_t KEY = 1, ABS = 3;

// Four node paths in a temporary directory; the test decides which exist.
class InputThreadTest : public ::testing::Test {
protected:
    std::vector<std::string> node_paths() const {
        std::vector<std::string> paths;
        for (int i = 0; i < 4; ++i) paths.push_back(dir_ / ("event" + std::to_string(i)));
        return paths;
    }
    test::EventFifo& fifo(int i) {
        if (!fifos_[i]) fifos_[i] = std::make_unique<test::EventFifo>(node_paths()[i]);
        return *fifos_[i];
    }
    // Starts the thread once pending presses sit in every created node, and
    // returns when its initial flush has taken them all.
    void start_after_flush() {
        for (auto& f : fifos_) {
            if (f) f->write_event(KEY, 304, 1);
        }
        ASSERT_TRUE(start_input_thread(std::move(sender_), node_paths()));
        for (auto& f : fifos_) {
            if (f) {
                ASSERT_TRUE(f->wait_drained()) << f->path();
            }
        }
    }
    // Buttons received within the window after the last one.
    std::vector<Button> receive(size_t expected, std::chrono::milliseconds settle = 150ms) {
        std::vector<Button> got;
        while (got.size() < expected) {
            auto b = receiver_.recv_for(10s);
            if (!b) return got;
            got.push_back(*b);
        }
        // Anything extra shows up within a few polling rounds.
        while (auto b = receiver_.recv_for(settle)) got.push_back(*b);
        return got;
    }

    test::TempDir dir_;
    std::unique_ptr<test::EventFifo> fifos_[4];
    Sender<Button> sender_;
    Receiver<Button> receiver_;
    void SetUp() override { std::tie(sender_, receiver_) = make_channel<Button>(); }
};

TEST_F(InputThreadTest, PendingPressesAreFlushedAndLaterOnesArriveInOrder) {
    fifo(0).write_event(KEY, 305, 1);  // pressed before start: stale
    start_after_flush();
    fifo(0).write_bytes(test::evdev_records({{KEY, 305, 1}, {0, 0, 0}, {KEY, 305, 0}, {KEY, 304, 1}, {KEY, 304, 2}}));
    EXPECT_EQ(receive(3), (std::vector<Button>{Button::A, Button::B, Button::B}));
}

TEST_F(InputThreadTest, ThirtyByteReadIsOneEventAndTheTailIsDropped) {
    fifo(1);
    start_after_flush();
    std::vector<uint8_t> bytes = test::evdev_records({{KEY, 305, 1}});
    bytes.insert(bytes.end(), {1, 0, 0x30, 1, 1, 0});  // six stray bytes
    fifo(1).write_bytes(bytes);
    ASSERT_TRUE(fifo(1).wait_drained());
    // Were the six bytes kept, this record would be read out of step.
    fifo(1).write_event(KEY, 304, 1);
    EXPECT_EQ(receive(2), (std::vector<Button>{Button::A, Button::B}));
}

TEST_F(InputThreadTest, ReadShorterThanOneEventIsIgnored) {
    fifo(2);
    start_after_flush();
    std::vector<uint8_t> partial = test::evdev_records({{KEY, 304, 1}});
    partial.pop_back();
    fifo(2).write_bytes(partial);
    ASSERT_TRUE(fifo(2).wait_drained());
    fifo(2).write_event(KEY, 308, 1);
    EXPECT_EQ(receive(1), std::vector<Button>{Button::X});
}

TEST_F(InputThreadTest, MoreThanOneBufferOfEventsArrivesOverSeveralRounds) {
    fifo(3);
    start_after_flush();
    // 70 events: one read takes 64, the rest wait for the next round.
    std::vector<uint8_t> bytes;
    std::vector<Button> expected;
    for (int i = 0; i < 70; ++i) {
        const uint16_t code = (i % 2 == 0) ? 310 : 311;
        auto r = test::evdev_record(KEY, code, 1);
        bytes.insert(bytes.end(), r.begin(), r.end());
        expected.push_back(i % 2 == 0 ? Button::L1 : Button::R1);
    }
    fifo(3).write_bytes(bytes);
    EXPECT_EQ(receive(70), expected);
}

TEST_F(InputThreadTest, StickStateIsSharedAcrossNodes) {
    fifo(0);
    fifo(3);
    start_after_flush();
    fifo(0).write_event(ABS, 0, -32767);
    ASSERT_TRUE(fifo(0).wait_drained());
    fifo(3).write_event(ABS, 16, -1);  // the hat on another node, same direction
    ASSERT_TRUE(fifo(3).wait_drained());
    fifo(3).write_bytes(test::evdev_records({{ABS, 16, 16000}, {ABS, 1, 16000}, {ABS, 1, -16000}, {ABS, 16, 1}}));
    EXPECT_EQ(receive(2), (std::vector<Button>{Button::Left, Button::Right}));
}

TEST_F(InputThreadTest, NoNodeLogsOnceAndClosesTheChannel) {
    test::StderrCapture capture;
    ASSERT_TRUE(start_input_thread(std::move(sender_), node_paths()));
    const auto start = std::chrono::steady_clock::now();
    // recv returns nothing as soon as the thread dropped its sender.
    EXPECT_EQ(receiver_.recv_for(10s), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(capture.text(), "[Input] Notice: No evdev event nodes opened.\n");
}

TEST_F(InputThreadTest, OneNodeIsEnoughAndNoNoticeIsLogged) {
    test::StderrCapture capture;
    fifo(2);
    start_after_flush();
    fifo(2).write_event(KEY, 1, 1);
    EXPECT_EQ(receive(1), std::vector<Button>{Button::B});
    EXPECT_EQ(capture.text(), "");
}

}  // namespace
}  // namespace qz

#include "input/evdev.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/env_guard.h"
#include "support/evdev_fifo.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "support/open_fds.h"

namespace qz {
namespace {

TEST(EvdevParse, ReadsFieldsAtFixedOffsetsIgnoringTheTimeStamp) {
    auto record = test::evdev_record(3, 17, -70000);
    EvdevEvent e = parse_event(record.data());
    EXPECT_EQ(e.type, 3);
    EXPECT_EQ(e.code, 17);
    EXPECT_EQ(e.value, -70000);

    // A record at an odd address (the second event of a read buffer need not
    // be aligned for the host's struct) parses the same.
    std::vector<uint8_t> shifted(1 + record.size());
    std::memcpy(shifted.data() + 1, record.data(), record.size());
    EvdevEvent s = parse_event(shifted.data() + 1);
    EXPECT_EQ(s.type, 3);
    EXPECT_EQ(s.code, 17);
    EXPECT_EQ(s.value, -70000);
}

TEST(EvdevParse, KeepsReleasesRepeatsAndRawAxisValuesAndDropsATrailingPart) {
    std::vector<uint8_t> bytes = test::evdev_records({{1, 106, 0}, {1, 106, 2}, {3, 16, -1}, {3, 0, 1234}});
    bytes.resize(bytes.size() + 23, 0x55);  // not quite a fifth record
    const auto events = parse_events(bytes.data(), bytes.size());
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].value, KEY_RELEASED);
    EXPECT_EQ(events[1].value, KEY_REPEATED);
    EXPECT_EQ(events[2].code, evdev::ABS_HAT0X);
    EXPECT_EQ(events[2].value, -1);
    EXPECT_EQ(events[3].value, 1234);
    EXPECT_TRUE(parse_events(bytes.data(), EVENT_SIZE - 1).empty());
}

TEST(EvdevNodes, OpensWhatExistsUnderTheDeviceRootReadsItAndClosesIt) {
    test::TempDir root;
    test::EnvGuard env("QZ_DEVICE_ROOT", root.path());
    const auto paths = event_node_paths(2, 3);
    ASSERT_EQ(paths, (std::vector<std::string>{root / "dev/input/event2", root / "dev/input/event3",
                                               root / "dev/input/event4"}));
    test::EventFifo first(paths[0]);
    test::EventFifo last(paths[2]);  // event3 does not exist
    first.write_event(1, 304, 1);    // pending before the nodes open

    const size_t before = test::open_descriptor_count();
    {
        EvdevNodes nodes(paths);
        ASSERT_EQ(nodes.size(), 2u);
        uint8_t buffer[4 * EVENT_SIZE];
        nodes.flush(buffer, sizeof buffer);
        EXPECT_EQ(first.pending(), 0);
        EXPECT_FALSE(nodes.poll(0));

        last.write_event(1, 305, 2);
        ASSERT_TRUE(nodes.poll(5000));
        EXPECT_FALSE(nodes.ready(0));
        ASSERT_TRUE(nodes.ready(1));
        ASSERT_EQ(nodes.read(1, buffer, sizeof buffer), static_cast<ssize_t>(EVENT_SIZE));
        EXPECT_EQ(parse_event(buffer).code, evdev::BTN_EAST);
        EXPECT_LT(nodes.read(1, buffer, sizeof buffer), 1) << "a drained node must not block";
        EXPECT_EQ(test::open_descriptor_count(), before + 2);
    }
    EXPECT_EQ(test::open_descriptor_count(), before);
}

}  // namespace
}  // namespace qz

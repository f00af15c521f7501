#pragma once
// A record read frame by frame as the player reads it: every cut frame with
// the sound block delivered beside it and the second it was cut from, for
// tests that compare one reading with another.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "disk/record_reader.h"

namespace testing_support {

// One cut frame with the sound block delivered with it, and where it was cut.
struct Cut {
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> sound;
    uint32_t segment = 0;
    bool operator==(const Cut&) const = default;
};

struct Reading {
    std::vector<Cut> frames;
    std::vector<uint8_t> streamHeader;
    int stopsAtLoss = 0;  // frames that stopped at a lost second
    bool operator==(const Reading&) const = default;
};

// Every frame of a record from second `from` (as after a seek) by calls in
// camera order until it ends, taking camera 0's sound at each segment's
// start. A stop at a lost second is counted and the reading goes on; two
// other stops in a row end it.
inline Reading ReadAll(disk::RecordReader& reader, uint32_t record, uint32_t from = 0)
{
    Reading out;
    EXPECT_TRUE(reader.OpenRecord(record));
    EXPECT_TRUE(reader.SelectSegment(from));
    reader.ResetFrameAssembly();
    std::vector<uint8_t> frame(disk::RecordReader::kMaxFrameBytes), block(disk::RecordReader::kAudioBlockBytes);
    for (int failures = 0; failures < 2;) {
        uint32_t n = 0;
        int delivered = 0;
        if (reader.NextFrame(frame, n, false, 0, block, &delivered)) {
            Cut cut{{frame.begin(), frame.begin() + n}, {}, reader.CurrentSegment()};
            if (delivered)
                cut.sound.assign(block.begin(), block.end());
            out.frames.push_back(std::move(cut));
            failures = 0;
        } else {
            out.stopsAtLoss += reader.FrameStoppedAtLoss() ? 1 : 0;
            failures = reader.FrameStoppedAtLoss() ? 0 : failures + 1;
        }
    }
    const auto header = reader.StreamHeader();
    out.streamHeader.assign(header.begin(), header.end());
    return out;
}

// The frames cut from one second.
inline std::vector<Cut> InSegment(const std::vector<Cut>& frames, uint32_t segment)
{
    std::vector<Cut> out;
    std::copy_if(frames.begin(), frames.end(), std::back_inserter(out),
                 [segment](const Cut& c) { return c.segment == segment; });
    return out;
}

}  // namespace testing_support

#pragma once
// A disk plan of records one after another: record r lasts 3 + r seconds
// and begins 10 * r minutes after the first.
#include <cstdint>

#include "tools/mkdisk/disk_plan.h"

namespace testing_support {

inline mkdisk::DiskPlan StaggeredPlan(uint32_t records, const mkdisk::RecordTime& begin, uint8_t audioCameras)
{
    mkdisk::DiskPlan plan;
    for (uint32_t r = 0; r < records; ++r) {
        mkdisk::RecordPlan record;
        record.begin = begin;
        record.begin.minute = begin.minute + static_cast<int>(10 * r);
        record.seconds = 3 + r;
        record.audioCameras = audioCameras;
        plan.records.push_back(record);
    }
    return plan;
}

}  // namespace testing_support

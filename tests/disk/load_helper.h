#pragma once
// Writes hand-made bytes to a temporary image and loads it as drive 0.
#include <gtest/gtest.h>

#include "disk/recorder_volume.h"
#include "disk/volume_bytes.h"
#include "platform/drive_table.h"
#include "support/temp_dir.h"

namespace testing_support {

class VolumeFixture : public ::testing::Test {
protected:
    std::string WriteImage(const VolumeBytes& image, const std::string& name = "disk.img")
    {
        const std::string path = temp.File(name);
        EXPECT_TRUE(image.Write(path));
        platform::SetDriveImages({path});
        return path;
    }
    bool Load(const VolumeBytes& image)
    {
        WriteImage(image);
        return volume.Load(0);
    }

    TempDir temp;
    disk::RecorderVolume volume;
};

}  // namespace testing_support

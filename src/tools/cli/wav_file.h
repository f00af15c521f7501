#pragma once
// A PCM WAV file of 16-bit mono samples, little-endian, written as the
// sound comes: the header's sizes are patched when it is finished, so
// memory stays bounded whatever the length.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/unique_fd.h"

namespace cli {

class WavWriter {
public:
    WavWriter() = default;
    // An unfinished file is removed (when it is a regular file).
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates the file with a header for no samples yet.
    platform::Result<void> Open(const std::string& path, uint32_t sampleRate);
    // Fails when the write fails or the file would pass the format's 4 GiB.
    platform::Result<void> Append(std::span<const int16_t> samples);
    // Patches the sizes and closes; fails (file removed) when that fails.
    platform::Result<void> Finish();
    uint64_t Samples() const { return dataBytes / 2; }

private:
    platform::Error Fail(const std::string& why);
    void Discard();

    platform::UniqueFile file;
    std::string path;
    bool regularFile = false;
    uint32_t rate = 0;
    uint64_t dataBytes = 0;
    std::vector<uint8_t> bytes;  // one Append's samples, reused
};

}  // namespace cli

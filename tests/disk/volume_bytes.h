#pragma once
// Hand-made recorder volume images, byte by byte, for exact layouts.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace testing_support {

class VolumeBytes {
public:
    explicit VolumeBytes(size_t sectors = 64) : bytes(sectors * 512, 0) {}

    // Signature and the header fields at their offsets (big-endian).
    VolumeBytes& Header(uint32_t tableSector, uint32_t indexSector, uint16_t recordCount, uint16_t firstEntry = 1)
    {
        Put(2, "Kor Halvex", 10);
        Be32(12, tableSector);
        Be32(16, indexSector);
        Be16(24, recordCount);
        Be16(38, firstEntry);
        return *this;
    }

    // A 32-byte entry at byte offset `at`. Video and audio cameras are bit
    // masks (bit k = camera k), stored as the recorder does: camera 0 is the
    // top bit of the second byte.
    VolumeBytes& Entry(size_t at, uint32_t segments, uint32_t indexOffset, uint8_t formatByte = 0xD0,
                       uint8_t kindFlags = 0x04, uint16_t videoCameras = 0xF, uint16_t audioCameras = 0x1,
                       uint8_t year = 6, uint8_t month = 3, uint8_t day = 7, uint8_t hour = 9, uint8_t minute = 5,
                       uint8_t second = 0)
    {
        const uint8_t time[6] = {second, minute, hour, day, month, year};
        Put(at, time, 6);
        Be32(at + 6, segments);
        Be32(at + 10, indexOffset);
        bytes[at + 14] = kindFlags;
        bytes[at + 15] = formatByte;
        Flags(at + 16, videoCameras);
        Flags(at + 18, audioCameras);
        return *this;
    }

    VolumeBytes& Be32(size_t at, uint32_t v)
    {
        Grow(at + 4);
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = uint8_t(v >> (24 - 8 * i));
        return *this;
    }
    VolumeBytes& Be16(size_t at, uint16_t v)
    {
        Grow(at + 2);
        bytes[at] = uint8_t(v >> 8);
        bytes[at + 1] = uint8_t(v);
        return *this;
    }
    VolumeBytes& Put(size_t at, const void* data, size_t n)
    {
        Grow(at + n);
        if (n > 0)
            std::memcpy(bytes.data() + at, data, n);
        return *this;
    }
    VolumeBytes& Put(size_t at, const std::vector<uint8_t>& data) { return Put(at, data.data(), data.size()); }
    VolumeBytes& Resize(size_t size)
    {
        bytes.resize(size, 0);
        return *this;
    }

    bool Write(const std::string& path) const
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return bool(out);
    }

    std::vector<uint8_t> bytes;

private:
    void Grow(size_t size)
    {
        if (bytes.size() < size)
            bytes.resize((size + 511) / 512 * 512, 0);
    }
    void Flags(size_t at, uint16_t cameras)
    {
        uint16_t v = 0;
        for (int k = 0; k < 16; ++k)
            if (cameras & (1u << k))
                v |= uint16_t(1u << (15 - k));
        bytes[at] = uint8_t(v & 0xFF);
        bytes[at + 1] = uint8_t(v >> 8);
    }
};

}  // namespace testing_support

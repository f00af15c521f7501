#include "tools/cli/wav_file.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace cli {
namespace {

constexpr uint32_t kHeaderBytes = 44;
constexpr uint64_t kMaxDataBytes = UINT32_MAX - (kHeaderBytes - 8);

void Put16(uint8_t* at, uint32_t v)
{
    at[0] = uint8_t(v);
    at[1] = uint8_t(v >> 8);
}

void Put32(uint8_t* at, uint32_t v)
{
    Put16(at, v & 0xFFFF);
    Put16(at + 2, v >> 16);
}

std::array<uint8_t, kHeaderBytes> Header(uint32_t sampleRate, uint32_t dataBytes)
{
    std::array<uint8_t, kHeaderBytes> h{};
    std::memcpy(&h[0], "RIFF", 4);
    Put32(&h[4], 36 + dataBytes);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    Put32(&h[16], 16);
    Put16(&h[20], 1);  // PCM
    Put16(&h[22], 1);  // mono
    Put32(&h[24], sampleRate);
    Put32(&h[28], sampleRate * 2);
    Put16(&h[32], 2);
    Put16(&h[34], 16);
    std::memcpy(&h[36], "data", 4);
    Put32(&h[40], dataBytes);
    return h;
}

}  // namespace

WavWriter::~WavWriter() { Discard(); }

// Only a regular file is removed: an output named over a device (/dev/full)
// must never take the device node with it.
void WavWriter::Discard()
{
    if (!file)
        return;
    file.reset();
    if (regularFile)
        std::remove(path.c_str());
}

platform::Error WavWriter::Fail(const std::string& why)
{
    Discard();
    return {platform::ErrorKind::WriteFailed, "cannot write " + path + ": " + why};
}

platform::Result<void> WavWriter::Open(const std::string& outPath, uint32_t sampleRate)
{
    path = outPath;
    dataBytes = 0;
    file.reset(std::fopen(path.c_str(), "wb"));
    if (!file)
        return platform::Error{platform::ErrorKind::WriteFailed, "cannot write " + path + ": " + std::strerror(errno)};
    struct stat info {};
    regularFile = ::fstat(::fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode);
    const auto header = Header(sampleRate, 0);
    if (std::fwrite(header.data(), 1, header.size(), file.get()) != header.size())
        return Fail(std::strerror(errno));
    rate = sampleRate;
    return {};
}

platform::Result<void> WavWriter::Append(std::span<const int16_t> samples)
{
    if (!file)
        return Fail("not open");
    if (dataBytes + samples.size() * 2 > kMaxDataBytes)
        return Fail("the sound is too long for a WAV file (4 GiB)");
    bytes.resize(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i)
        Put16(&bytes[2 * i], static_cast<uint16_t>(samples[i]));
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return Fail(std::strerror(errno));
    dataBytes += samples.size() * 2;
    return {};
}

platform::Result<void> WavWriter::Finish()
{
    if (!file)
        return Fail("not open");
    const auto header = Header(rate, static_cast<uint32_t>(dataBytes));
    if (std::fseek(file.get(), 0, SEEK_SET) != 0 ||
        std::fwrite(header.data(), 1, header.size(), file.get()) != header.size() || std::fflush(file.get()) != 0)
        return Fail(std::strerror(errno));
    std::FILE* f = file.release();
    if (std::fclose(f) != 0) {
        const int why = errno;
        if (regularFile)
            std::remove(path.c_str());
        return platform::Error{platform::ErrorKind::WriteFailed, "cannot write " + path + ": " + std::strerror(why)};
    }
    return {};
}

}  // namespace cli

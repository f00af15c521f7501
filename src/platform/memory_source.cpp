// A disk held in a caller's buffer.
#include "platform/memory_source.h"

#include <cstring>

namespace platform {
namespace {

class MemorySource final : public DiskSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes(bytes) {}

    uint64_t SizeBytes() const override { return bytes.size(); }
    bool ReadAt(uint64_t offset, void* destination, uint64_t size) const override
    {
        if (size == 0 || destination == nullptr || offset > bytes.size() || size > bytes.size() - offset)
            return false;
        std::memcpy(destination, bytes.data() + offset, static_cast<size_t>(size));
        return true;
    }
    const char* FormatName() const override { return "memory"; }
    std::vector<std::string> Files() const override { return {}; }

private:
    const std::span<const uint8_t> bytes;
};

}  // namespace

std::unique_ptr<DiskSource> OpenMemorySource(std::span<const uint8_t> bytes)
{
    return std::make_unique<MemorySource>(bytes);
}

}  // namespace platform

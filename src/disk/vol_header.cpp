#include "disk/vol_header.h"

namespace disk {
namespace {

// Reads big-endian bit fields; a read past the end sets failed and gives 0.
class BitReader {
public:
    explicit BitReader(std::span<const uint8_t> bytes) : bytes(bytes) {}

    uint32_t Get(uint32_t bits)
    {
        uint32_t value = 0;
        for (uint32_t i = 0; i < bits; ++i) {
            if (position >= uint64_t(bytes.size()) * 8) {
                failed = true;
                return 0;
            }
            const uint8_t byte = bytes[static_cast<size_t>(position / 8)];
            value = value << 1 | ((byte >> (7 - position % 8)) & 1u);
            ++position;
        }
        return value;
    }
    // A marker bit must be 1.
    bool Marker() { return Get(1) == 1 && !failed; }
    bool Failed() const { return failed; }

private:
    std::span<const uint8_t> bytes;
    uint64_t position = 0;
    bool failed = false;
};

constexpr uint32_t kShapeRectangular = 0;
constexpr uint32_t kShapeGrayscale = 3;
constexpr uint32_t kExtendedPar = 0xF;

uint32_t BitsFor(uint32_t resolution)
{
    // Enough bits for 0 .. resolution - 1, at least one.
    uint32_t bits = 1;
    while (bits < 16 && (1u << bits) < resolution)
        ++bits;
    return bits;
}

VolParse Refuse(const char* why) { return {std::nullopt, why}; }

}  // namespace

bool HasVoVolAt(std::span<const uint8_t> bytes, size_t offset)
{
    if (offset > bytes.size() || bytes.size() - offset < 8)
        return false;
    const uint8_t* p = bytes.data() + offset;
    return p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] <= 0x1F && p[4] == 0 && p[5] == 0 && p[6] == 1 && p[7] >= 0x20 &&
           p[7] <= 0x2F;
}

VolParse ParseVolHeader(std::span<const uint8_t> bytes)
{
    BitReader r(bytes);
    if (r.Get(24) != 1)
        return Refuse("no start code");
    const uint32_t code = r.Get(8);
    if (r.Failed() || code < 0x20 || code > 0x2F)
        return Refuse("not a video object layer start code");
    r.Get(1);  // random_accessible_vol
    r.Get(8);  // video_object_type_indication
    uint32_t verid = 1;
    if (r.Get(1)) {  // is_object_layer_identifier
        verid = r.Get(4);
        r.Get(3);  // video_object_layer_priority
    }
    if (r.Get(4) == kExtendedPar) {  // aspect_ratio_info
        r.Get(8);                    // par_width
        r.Get(8);                    // par_height
    }
    if (r.Get(1)) {      // vol_control_parameters
        r.Get(2);        // chroma_format
        r.Get(1);        // low_delay
        if (r.Get(1)) {  // vbv_parameters
            r.Get(15);
            if (!r.Marker())
                return Refuse("a marker bit of the buffer parameters is 0");
            r.Get(15);
            if (!r.Marker())
                return Refuse("a marker bit of the buffer parameters is 0");
            r.Get(15);
            if (!r.Marker())
                return Refuse("a marker bit of the buffer parameters is 0");
            r.Get(3);
            r.Get(11);
            if (!r.Marker())
                return Refuse("a marker bit of the buffer parameters is 0");
            r.Get(15);
            if (!r.Marker())
                return Refuse("a marker bit of the buffer parameters is 0");
        }
    }
    const uint32_t shape = r.Get(2);
    if (shape == kShapeGrayscale && verid != 1)
        r.Get(4);  // video_object_layer_shape_extension
    if (r.Failed())
        return Refuse("the header is cut short");
    if (shape != kShapeRectangular)
        return Refuse("not a rectangular layer");
    if (!r.Marker())
        return Refuse("the marker before the time resolution is 0");
    VolHeader h;
    h.timeResolution = r.Get(16);
    if (!r.Marker())
        return Refuse("the marker after the time resolution is 0");
    if (h.timeResolution == 0)
        return Refuse("a time resolution of 0");
    h.timeIncrementBits = BitsFor(h.timeResolution);
    if (r.Get(1)) {  // fixed_vop_rate
        h.fixedTimeIncrement = r.Get(h.timeIncrementBits);
        if (h.fixedTimeIncrement == 0)
            return Refuse("a fixed picture time of 0");
    }
    if (!r.Marker())
        return Refuse("the marker before the width is 0");
    h.width = r.Get(13);
    if (!r.Marker())
        return Refuse("the marker before the height is 0");
    h.height = r.Get(13);
    if (!r.Marker())
        return Refuse("the marker after the height is 0");
    if (r.Failed())
        return Refuse("the header is cut short");
    if (h.width == 0 || h.height == 0)
        return Refuse("a picture size of 0");
    if (h.FrameRate() == 0)
        return Refuse("fewer than one picture a second");
    return {h, {}};
}

std::optional<bool> VopCoded(std::span<const uint8_t> bytes, const VolHeader& vol)
{
    BitReader r(bytes);
    if (r.Get(32) != 0x000001B6)
        return std::nullopt;
    r.Get(2);  // vop_coding_type
    for (int seconds = 0; r.Get(1) && !r.Failed(); ++seconds)
        if (seconds > 64)
            return std::nullopt;  // modulo_time_base runs on: not a picture header
    if (!r.Marker())
        return std::nullopt;
    r.Get(vol.timeIncrementBits ? vol.timeIncrementBits : 1);
    if (!r.Marker())
        return std::nullopt;
    const uint32_t coded = r.Get(1);
    if (r.Failed())
        return std::nullopt;
    return coded == 1;
}

}  // namespace disk

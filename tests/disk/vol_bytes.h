#pragma once
// VO + VOL headers written bit by bit, as an MPEG-4 encoder writes them,
// for tests that need a stream header of a chosen size and rate.
#include <cstdint>
#include <vector>

namespace testing_support {

class Bits {
public:
    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if (used % 8 == 0)
                bytes.push_back(0);
            bytes.back() |= uint8_t(((value >> i) & 1u) << (7 - used % 8));
            ++used;
        }
    }
    // Stuffing as the standard has it: a 0 then 1s to the byte's end.
    std::vector<uint8_t> Finish()
    {
        Put(0, 1);
        while (used % 8)
            Put(1, 1);
        return bytes;
    }

private:
    std::vector<uint8_t> bytes;
    int used = 0;
};

// VO start code, then a rectangular VOL of the size and time resolution
// given; fixedIncrement 0 leaves the rate unfixed. 19 bytes for the usual
// sizes, as the recorder's.
inline std::vector<uint8_t> VoVol(uint32_t width, uint32_t height, uint32_t resolution, uint32_t fixedIncrement = 0,
                                  bool vbv = false)
{
    Bits b;
    b.Put(0x00000100, 32);  // VO
    b.Put(0x00000120, 32);  // VOL
    b.Put(0, 1);            // random_accessible_vol
    b.Put(1, 8);            // simple object
    b.Put(0, 1);            // is_object_layer_identifier
    b.Put(1, 4);            // square pixels
    b.Put(vbv ? 1 : 0, 1);  // vol_control_parameters
    if (vbv) {
        b.Put(1, 2);
        b.Put(1, 1);
        b.Put(1, 1);
        b.Put(100, 15), b.Put(1, 1), b.Put(0, 15), b.Put(1, 1);
        b.Put(10, 15), b.Put(1, 1), b.Put(0, 3), b.Put(0, 11), b.Put(1, 1), b.Put(0, 15), b.Put(1, 1);
    }
    b.Put(0, 2);  // rectangular
    b.Put(1, 1);
    b.Put(resolution, 16);
    b.Put(1, 1);
    int bits = 1;
    while (bits < 16 && (1u << bits) < resolution)
        ++bits;
    b.Put(fixedIncrement ? 1 : 0, 1);
    if (fixedIncrement)
        b.Put(fixedIncrement, bits);
    b.Put(1, 1);
    b.Put(width, 13);
    b.Put(1, 1);
    b.Put(height, 13);
    b.Put(1, 1);
    b.Put(0, 1);  // interlaced
    b.Put(1, 1);  // obmc_disable
    b.Put(0, 1);  // sprite_enable
    b.Put(0, 1);  // not_8_bit
    b.Put(0, 1);  // quant_type
    b.Put(1, 1);  // complexity_estimation_disable
    b.Put(1, 1);  // resync_marker_disable
    b.Put(0, 1);  // data_partitioned
    b.Put(0, 1);  // scalability
    return b.Finish();
}

}  // namespace testing_support

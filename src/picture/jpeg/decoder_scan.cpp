// Entropy-coded scans: Huffman decoding of each block and its inverse DCT
// straight into the component's plane.
#include <algorithm>
#include <cstring>

#include "picture/jpeg/bit_reader.h"
#include "picture/jpeg/dct.h"
#include "picture/jpeg/decoder_state.h"
#include "picture/jpeg/tables.h"

namespace picture::jpeg {

namespace {

struct ScanComponent {
    FrameComponent* c = nullptr;
    const HuffmanDecodeTable* dc = nullptr;
    const HuffmanDecodeTable* ac = nullptr;
    int predictor = 0;
};

// -1 on an invalid code. The caller has ensured 32 buffered bits.
inline int DecodeSymbol(BitReader& br, const HuffmanDecodeTable& t)
{
    const std::uint32_t look = br.Peek(kFastBits);
    const int fast = t.fast[look];
    if (fast) {
        br.Skip(fast >> 8);
        return fast & 0xFF;
    }
    int l = kFastBits + 1;
    std::int32_t code = static_cast<std::int32_t>(br.Peek(l));
    while (code > t.maxCode[l]) {
        if (++l > 16)
            return -1;
        code = static_cast<std::int32_t>(br.Peek(l));
    }
    br.Skip(l);
    return t.symbols[static_cast<std::size_t>((code + t.valueOffset[l]) & 0xFF)];
}

inline int Extend(std::uint32_t v, int s)
{
    return v < (1u << (s - 1)) ? static_cast<int>(v) - (1 << s) + 1 : static_cast<int>(v);
}

// Decodes one block into `block` (zeroed, natural order). Returns the
// highest zigzag index reached (0: DC only), or -1 on corrupt data.
inline int DecodeBlock(BitReader& br, ScanComponent& sc, std::int16_t* block)
{
    br.EnsureBits(32);
    const int s = DecodeSymbol(br, *sc.dc);
    if (s < 0)
        return -1;
    if (s) {
        const int diff = Extend(br.Get(s), s);
        // Wraps instead of overflowing on hostile data.
        sc.predictor = static_cast<int>(static_cast<unsigned>(sc.predictor) + static_cast<unsigned>(diff));
    }
    block[0] = static_cast<std::int16_t>(sc.predictor);

    const HuffmanDecodeTable& ac = *sc.ac;
    int k = 1;
    while (k < 64) {
        br.EnsureBits(32);
        const std::int32_t fast = ac.fastAc[br.Peek(kFastBits)];
        if (fast) {
            k += (fast >> 8) & 0xFF;
            if (k > 63)
                return -1;
            br.Skip(fast & 0xFF);
            block[kZigzag[k]] = static_cast<std::int16_t>(fast >> 16);
            ++k;
            continue;
        }
        const int rs = DecodeSymbol(br, ac);
        if (rs < 0)
            return -1;
        const int run = rs >> 4;
        const int size = rs & 15;
        if (size) {
            k += run;
            if (k > 63)
                return -1;
            block[kZigzag[k]] = static_cast<std::int16_t>(Extend(br.Get(size), size));
            ++k;
        } else if (run == 15) {
            k += 16;
        } else {
            return k - 1;  // end of block
        }
    }
    return k > 64 ? -1 : 63;
}

inline void StoreBlock(FrameComponent& c, std::int16_t* block, int last, int bx, int by)
{
    std::uint8_t* out = c.plane.data() + static_cast<std::ptrdiff_t>(by) * 8 * c.planeStride + bx * 8;
    if (last == 0) {
        const std::uint8_t value = InverseDctDcOnly(block[0], c.quant[0]);
        for (int y = 0; y < 8; ++y)
            std::memset(out + y * c.planeStride, value, 8);
        block[0] = 0;
        return;
    }
    InverseDct(block, c.quant.data(), out, c.planeStride);
    std::memset(block, 0, 64 * sizeof(std::int16_t));
}

int DecodeScan(DecoderState& s, std::size_t& at)
{
    const auto d = s.data;
    std::span<const std::uint8_t> seg;
    if (!TakeSegment(s.data, at, seg))
        return ErrorEof;
    if (seg.empty())
        return DataError;
    const int count = seg[0];
    if (count < 1 || count > 4 || seg.size() != 4 + 2 * static_cast<std::size_t>(count))
        return DataError;
    if (seg[1 + 2 * count] != 0 || seg[2 + 2 * count] != 63 || seg[3 + 2 * count] != 0)
        return DataError;  // spectral selection or approximation: not sequential

    std::array<ScanComponent, 4> scan;
    int blocksPerMcu = 0;
    for (int i = 0; i < count; ++i) {
        const int id = seg[1 + 2 * i];
        const int dcIndex = seg[2 + 2 * i] >> 4;
        const int acIndex = seg[2 + 2 * i] & 15;
        FrameComponent* c = nullptr;
        for (int j = 0; j < s.componentCount; ++j)
            if (s.components[j].id == id)
                c = &s.components[j];
        if (!c)
            return ErrorComp;
        for (int j = 0; j < i; ++j)
            if (scan[j].c == c)
                return ErrorComp;
        if (dcIndex > 3 || acIndex > 3 || !s.hasDc[dcIndex] || !s.hasAc[acIndex])
            return NoHuffmanTable;
        if (!s.hasQuant[c->quantTable] && !c->hasQuant)
            return NoQuantizationTable;
        scan[i] = ScanComponent{c, &s.dcTables[dcIndex], &s.acTables[acIndex], 0};
        blocksPerMcu += c->h * c->v;
    }
    if (count > 1 && blocksPerMcu > 10)
        return DataError;

    // Each block takes at least two bits; a stream too short for the picture
    // it claims is refused before its planes are allocated.
    std::int64_t blocks = 0;
    if (count == 1)
        blocks = static_cast<std::int64_t>(scan[0].c->blocksWide) * scan[0].c->blocksHigh;
    else
        blocks = static_cast<std::int64_t>(s.mcusWide) * s.mcusHigh * blocksPerMcu;
    if (static_cast<std::int64_t>(d.size() - at) * 4 < blocks)
        return ErrorEof;

    if (!s.planesReady) {
        for (int j = 0; j < s.componentCount; ++j) {
            FrameComponent& c = s.components[j];
            c.plane.assign(static_cast<std::size_t>(c.planeStride) * c.planeRows, 0);
        }
        s.planesReady = true;
    }
    for (int i = 0; i < count; ++i) {
        FrameComponent& c = *scan[i].c;
        if (!c.hasQuant) {
            c.quant = s.quant[c.quantTable];
            c.hasQuant = true;
        }
    }

    BitReader br(d.data() + at, d.data() + d.size());
    alignas(32) std::int16_t block[64] = {};
    const int mcusWide = count == 1 ? scan[0].c->blocksWide : s.mcusWide;
    const int mcusHigh = count == 1 ? scan[0].c->blocksHigh : s.mcusHigh;
    int restartsLeft = s.restartInterval;
    int nextRst = 0;

    for (int my = 0; my < mcusHigh; ++my) {
        for (int mx = 0; mx < mcusWide; ++mx) {
            if (s.restartInterval) {
                if (restartsLeft == 0) {
                    if (br.Overrun())
                        return ErrorEof;
                    const std::uint8_t* m = br.SeekMarker();
                    const std::uint8_t* end = d.data() + d.size();
                    if (end - m < 2 || m[1] != 0xD0 + nextRst)
                        return BadRstMarker;
                    br.Restart(m + 2);
                    nextRst = (nextRst + 1) & 7;
                    for (int i = 0; i < count; ++i)
                        scan[i].predictor = 0;
                    restartsLeft = s.restartInterval;
                }
                --restartsLeft;
            }
            for (int i = 0; i < count; ++i) {
                ScanComponent& sc = scan[i];
                if (count == 1) {
                    const int last = DecodeBlock(br, sc, block);
                    if (last < 0)
                        return DataError;
                    StoreBlock(*sc.c, block, last, mx, my);
                    continue;
                }
                for (int by = 0; by < sc.c->v; ++by)
                    for (int bx = 0; bx < sc.c->h; ++bx) {
                        const int last = DecodeBlock(br, sc, block);
                        if (last < 0)
                            return DataError;
                        StoreBlock(*sc.c, block, last, mx * sc.c->h + bx, my * sc.c->v + by);
                    }
            }
        }
        if (br.Overrun())
            return ErrorEof;
    }
    const std::uint8_t* m = br.SeekMarker();
    at = static_cast<std::size_t>(m - d.data());
    return Success;
}

}  // namespace

int DecodeScans(DecoderState& s)
{
    std::size_t at = s.firstScan;
    for (;;) {
        if (const int r = DecodeScan(s, at); r != Success)
            return r;
        // Tables may change between scans; anything else ends the image.
        for (;;) {
            const int marker = NextMarker(s, at);
            if (marker < 0 || marker == 0xD9)
                return Success;
            if (marker == 0xDA)
                break;
            if (marker >= 0xD0 && marker <= 0xD7)
                continue;
            if (marker == 0xC0 || marker == 0xC1)
                return MultipleFrames;
            if (const int r = ParseSegment(s, marker, at); r != Success)
                return r;
        }
    }
}

}  // namespace picture::jpeg

// Marker segments up to the first scan: tables, restart interval and frame.
#include <algorithm>

#include "picture/jpeg/decoder_state.h"
#include "picture/jpeg/tables.h"

namespace picture::jpeg {

namespace {

int ParseQuantTables(DecoderState& s, std::span<const std::uint8_t> seg)
{
    std::size_t at = 0;
    while (at < seg.size()) {
        const int precision = seg[at] >> 4;
        const int index = seg[at] & 15;
        ++at;
        const std::size_t bytes = precision == 0 ? 64 : 128;
        if (precision > 1 || index > 3 || seg.size() - at < bytes)
            return BadQuantizationTable;
        for (int i = 0; i < 64; ++i) {
            const int v = precision == 0 ? seg[at + i] : ReadU16(seg, at + 2 * i);
            s.quant[index][kZigzag[i]] = static_cast<std::uint16_t>(v);
        }
        s.hasQuant[index] = true;
        at += bytes;
    }
    return Success;
}

int ParseHuffmanTables(DecoderState& s, std::span<const std::uint8_t> seg)
{
    std::size_t at = 0;
    while (at < seg.size()) {
        if (seg.size() - at < 17)
            return BadHuffmanTable;
        const int tableClass = seg[at] >> 4;
        const int index = seg[at] & 15;
        if (tableClass > 1 || index > 3)
            return BadHuffmanTable;
        HuffmanSpec def;
        int total = 0;
        for (int l = 0; l < 16; ++l) {
            def.counts[l] = seg[at + 1 + l];
            total += def.counts[l];
        }
        at += 17;
        if (total > 256 || seg.size() - at < static_cast<std::size_t>(total))
            return BadHuffmanTable;
        std::copy_n(seg.begin() + static_cast<std::ptrdiff_t>(at), total, def.symbols.begin());
        def.symbolCount = total;
        at += static_cast<std::size_t>(total);
        const bool isDc = tableClass == 0;
        if (!BuildDecodeTable(def, isDc, isDc ? s.dcTables[index] : s.acTables[index]))
            return BadHuffmanTable;
        (isDc ? s.hasDc : s.hasAc)[index] = true;
    }
    return Success;
}

int ParseFrame(DecoderState& s, std::span<const std::uint8_t> seg, bool extended)
{
    if (s.hasFrame)
        return MultipleFrames;
    if (seg.size() < 6)
        return ErrorSof;
    if (seg[0] != 8)
        return extended ? UnsupportedFrame : ErrorSof;  // 12-bit samples
    s.height = ReadU16(seg, 1);
    s.width = ReadU16(seg, 3);
    s.componentCount = seg[5];
    if (s.componentCount < 1 || s.componentCount > 4 ||
        seg.size() != 6 + 3 * static_cast<std::size_t>(s.componentCount))
        return ErrorSof;
    if (s.height == 0)
        return ErrorDnl;  // height given later by a DNL marker: not supported
    if (s.width == 0)
        return ErrorSof;
    if (static_cast<std::int64_t>(s.width) * s.height > kMaxPixels)
        return MemoryError;

    s.hMax = s.vMax = 1;
    for (int i = 0; i < s.componentCount; ++i) {
        FrameComponent& c = s.components[i];
        c = FrameComponent{};
        c.id = seg[6 + 3 * i];
        c.h = seg[7 + 3 * i] >> 4;
        c.v = seg[7 + 3 * i] & 15;
        c.quantTable = seg[8 + 3 * i];
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quantTable > 3)
            return ErrorSof;
        for (int j = 0; j < i; ++j)
            if (s.components[j].id == c.id)
                return ErrorComp;
        s.hMax = std::max(s.hMax, c.h);
        s.vMax = std::max(s.vMax, c.v);
    }
    s.mcusWide = (s.width + 8 * s.hMax - 1) / (8 * s.hMax);
    s.mcusHigh = (s.height + 8 * s.vMax - 1) / (8 * s.vMax);
    for (int i = 0; i < s.componentCount; ++i) {
        FrameComponent& c = s.components[i];
        // Upsampling by a fraction is not something a real file asks for.
        if (s.hMax % c.h != 0 || s.vMax % c.v != 0)
            return UnsupportedSubsampling;
        c.width = (s.width * c.h + s.hMax - 1) / s.hMax;
        c.height = (s.height * c.v + s.vMax - 1) / s.vMax;
        c.blocksWide = (c.width + 7) / 8;
        c.blocksHigh = (c.height + 7) / 8;
        c.planeStride = s.mcusWide * c.h * 8;
        c.planeRows = s.mcusHigh * c.v * 8;
    }
    s.hasFrame = true;
    return Success;
}

}  // namespace

// One marker segment other than SOS/EOI/SOI/RSTn at `at` (pointing at its
// length field). Returns the result and advances at past the segment.
int ParseSegment(DecoderState& s, int marker, std::size_t& at)
{
    std::span<const std::uint8_t> seg;
    if (!TakeSegment(s.data, at, seg))
        return ErrorEof;

    switch (marker) {
    case 0xDB: return ParseQuantTables(s, seg);
    case 0xC4: return ParseHuffmanTables(s, seg);
    case 0xDD:
        if (seg.size() != 2)
            return DataError;
        s.restartInterval = ReadU16(seg, 0);
        return Success;
    case 0xC0:
    case 0xC1: return ParseFrame(s, seg, marker == 0xC1);
    case 0xDC: return ErrorDnl;
    case 0xC2:
    case 0xC3:
    case 0xC5:
    case 0xC6:
    case 0xC7:
    case 0xC9:
    case 0xCA:
    case 0xCB:
    case 0xCD:
    case 0xCE:
    case 0xCF: return UnsupportedFrame;  // progressive, lossless, hierarchical, arithmetic
    default: return Success;             // APPn, COM, DAC and the like carry nothing we need
    }
}

// Finds the next marker from `at`, skipping fill bytes (and, leniently,
// stray bytes). Returns -1 at the end of the data.
int NextMarker(const DecoderState& s, std::size_t& at)
{
    const auto d = s.data;
    while (at < d.size()) {
        if (d[at] != 0xFF) {
            ++at;
            continue;
        }
        while (at < d.size() && d[at] == 0xFF)
            ++at;
        if (at >= d.size())
            break;
        const int marker = d[at++];
        if (marker != 0x00)
            return marker;
    }
    return -1;
}

// Blocks the scan whose SOS length field is at `at` covers; 0 when its
// header is malformed (the scan decoder reports that).
std::int64_t ScanBlocks(const DecoderState& s, std::size_t at)
{
    const auto d = s.data;
    if (d.size() - at < 3)
        return 0;
    const int count = d[at + 2];
    if (count < 1 || count > 4 || d.size() - at < 3 + 2 * static_cast<std::size_t>(count))
        return 0;
    std::int64_t perMcu = 0;
    std::int64_t single = 0;
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < s.componentCount; ++j)
            if (s.components[j].id == d[at + 3 + 2 * i]) {
                const FrameComponent& c = s.components[j];
                perMcu += c.h * c.v;
                single = static_cast<std::int64_t>(c.blocksWide) * c.blocksHigh;
            }
    return count == 1 ? single : perMcu * s.mcusWide * s.mcusHigh;
}

int ParseHeaders(DecoderState& s)
{
    const auto d = s.data;
    if (d.size() < 4 || d[0] != 0xFF || d[1] != 0xD8)
        return NotJpeg;
    std::size_t at = 2;
    for (;;) {
        const int marker = NextMarker(s, at);
        if (marker < 0)
            return s.hasFrame ? ErrorEof : NoFrame;
        if (marker == 0xDA) {
            if (!s.hasFrame)
                return NoFrame;
            s.firstScan = at;  // the SOS length field
            // Every block takes at least two bits: a picture far larger than
            // the data could code is refused before anyone allocates for it.
            if (static_cast<std::int64_t>(d.size() - at) * 4 < ScanBlocks(s, at))
                return ErrorEof;
            s.headerRead = true;
            return Success;
        }
        if (marker == 0xD9)
            return s.hasFrame ? NoImage : NoFrame;
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;  // parameterless
        if (const int r = ParseSegment(s, marker, at); r != Success)
            return r;
    }
}

}  // namespace picture::jpeg

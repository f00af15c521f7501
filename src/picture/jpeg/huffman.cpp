#include "picture/jpeg/huffman.h"

namespace picture::jpeg {

// Code lengths and codes in symbol order (T.81 C.1, C.2). False when the
// counts don't describe a prefix code.
static bool GenerateCodes(const HuffmanSpec& def, std::array<std::uint8_t, 256>& sizes,
                          std::array<std::uint16_t, 256>& codes, int& count)
{
    count = 0;
    for (int l = 1; l <= 16; ++l) {
        for (int i = 0; i < def.counts[l - 1]; ++i) {
            if (count >= 256)
                return false;
            sizes[count++] = static_cast<std::uint8_t>(l);
        }
    }
    if (count != def.symbolCount)
        return false;
    std::uint32_t code = 0;
    int k = 0;
    for (int l = 1; k < count; ++l) {
        while (k < count && sizes[k] == l)
            codes[k++] = static_cast<std::uint16_t>(code++);
        // Every code must fit its length, and no code may be all ones.
        if (code >= (1u << l))
            return false;
        code <<= 1;
    }
    return true;
}

bool BuildDecodeTable(const HuffmanSpec& def, bool isDc, HuffmanDecodeTable& table)
{
    std::array<std::uint8_t, 256> sizes{};
    std::array<std::uint16_t, 256> codes{};
    int count = 0;
    if (!GenerateCodes(def, sizes, codes, count))
        return false;
    table = HuffmanDecodeTable{};
    for (int i = 0; i < count; ++i) {
        if (isDc && def.symbols[i] > 15)
            return false;
        table.symbols[i] = def.symbols[i];
    }
    int p = 0;
    for (int l = 1; l <= 16; ++l) {
        if (def.counts[l - 1] == 0) {
            table.maxCode[l] = -1;
            continue;
        }
        table.valueOffset[l] = p - codes[p];
        p += def.counts[l - 1];
        table.maxCode[l] = codes[p - 1];
    }
    table.maxCode[17] = 0x7fffffff;  // sentinel: ends the slow search

    for (int i = 0; i < count; ++i) {
        const int l = sizes[i];
        if (l > kFastBits)
            continue;
        const int shift = kFastBits - l;
        const int first = codes[i] << shift;
        for (int j = 0; j < (1 << shift); ++j) {
            table.fast[first + j] = static_cast<std::uint16_t>((l << 8) | def.symbols[i]);
            if (isDc)
                continue;
            const int run = def.symbols[i] >> 4;
            const int magnitude = def.symbols[i] & 15;
            if (magnitude == 0 || l + magnitude > kFastBits)
                continue;
            // The magnitude bits follow the code inside the same index.
            const int bits = ((first + j) >> (kFastBits - l - magnitude)) & ((1 << magnitude) - 1);
            const int value = bits < (1 << (magnitude - 1)) ? bits - (1 << magnitude) + 1 : bits;
            table.fastAc[first + j] = static_cast<std::int32_t>(
                (static_cast<std::uint32_t>(value) << 16) | static_cast<std::uint32_t>((run << 8) | (l + magnitude)));
        }
    }
    return true;
}

bool BuildEncodeTable(const HuffmanSpec& def, HuffmanEncodeTable& table)
{
    std::array<std::uint8_t, 256> sizes{};
    std::array<std::uint16_t, 256> codes{};
    int count = 0;
    if (!GenerateCodes(def, sizes, codes, count))
        return false;
    table = HuffmanEncodeTable{};
    for (int i = 0; i < count; ++i) {
        const std::uint8_t s = def.symbols[i];
        if (table.length[s] != 0)
            return false;  // a symbol listed twice
        table.code[s] = codes[i];
        table.length[s] = sizes[i];
    }
    return true;
}

HuffmanSpec OptimalSpec(const std::array<std::uint32_t, 256>& frequencies)
{
    constexpr int kMaxLength = 32;
    std::array<std::int64_t, 257> freq{};
    for (int i = 0; i < 256; ++i)
        freq[i] = frequencies[i];
    freq[256] = 1;  // reserves one code point, so no real code is all ones
    std::array<int, 257> codeSize{};
    std::array<int, 257> others;
    others.fill(-1);

    for (;;) {
        // c1: least frequent (largest index on ties), c2: next least.
        int c1 = -1, c2 = -1;
        std::int64_t v = INT64_MAX;
        for (int i = 0; i <= 256; ++i)
            if (freq[i] && freq[i] <= v) {
                v = freq[i];
                c1 = i;
            }
        v = INT64_MAX;
        for (int i = 0; i <= 256; ++i)
            if (freq[i] && freq[i] <= v && i != c1) {
                v = freq[i];
                c2 = i;
            }
        if (c2 < 0)
            break;
        freq[c1] += freq[c2];
        freq[c2] = 0;
        ++codeSize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codeSize[c1];
        }
        others[c1] = c2;
        ++codeSize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codeSize[c2];
        }
    }

    std::array<int, kMaxLength + 1> bits{};
    for (int i = 0; i <= 256; ++i)
        if (codeSize[i])
            ++bits[std::min(codeSize[i], kMaxLength)];

    // Shorten codes longer than 16 bits (T.81 K.3).
    for (int i = kMaxLength; i > 16; --i) {
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0)
                --j;
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    }
    int i = 16;
    while (i > 0 && bits[i] == 0)
        --i;
    if (i > 0)
        --bits[i];  // drop the reserved code point

    HuffmanSpec def;
    for (int l = 1; l <= 16; ++l)
        def.counts[l - 1] = static_cast<std::uint8_t>(bits[l]);
    int p = 0;
    for (int l = 1; l <= kMaxLength; ++l)
        for (int s = 0; s < 256; ++s)
            if (codeSize[s] == l && p < 256)
                def.symbols[p++] = static_cast<std::uint8_t>(s);
    def.symbolCount = p;
    return def;
}

}  // namespace picture::jpeg

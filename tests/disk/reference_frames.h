#pragma once
// Frame extraction written out position by position through the cursor,
// exactly as the stream format describes it: the yardstick the fast scan
// is held to (tests) and the naive scan it is measured against (bench).
#include <cstring>
#include <vector>

#include "disk/recorder_volume.h"

namespace testing_support {

class ReferenceFrames {
public:
    using Volume = disk::RecorderVolume;

    explicit ReferenceFrames(Volume& v) : v(v), seg(Volume::kWindowBytes + 8) {}

    bool OpenRecord(uint32_t r)
    {
        capturePending = true;
        Reset();
        return v.OpenRecord(r);
    }
    bool Seek(uint32_t s)
    {
        if (!v.SelectSegment(s))
            return false;
        Reset();
        return true;
    }
    void Reset()
    {
        pending = 0;
        continuation = false;
    }
    const uint8_t* Header() const { return header; }

    bool Next(std::vector<uint8_t>& frame, uint32_t& length, bool intraOnly, int channel, std::vector<uint8_t>& block,
              int& delivered)
    {
        const bool audio = v.HasAudioArea();
        for (;;) {
            v.ReadAhead();
            Note();
            if (v.Cursor() == 0) {
                atStart = true;
                frameStart = audio ? Volume::kAudioAreaBytes : 0;
            }
            delivered = 0;
            if (v.Cursor() == 0 && audio && v.SegmentBytes() > 0) {
                if (channel >= 0) {
                    if (Extract(channel, block))
                        delivered = 1;
                    else if (v.Cursor() < Volume::kAudioAreaBytes && !Skip())
                        return Fail();
                } else if (!Skip()) {
                    return Fail();
                }
            }
            if (pending > 0)
                return Piece(frame, length);
            if (v.Cursor() < v.SegmentBytes()) {
                if (continuation)
                    return Continue(frame, length);
                if (Scan(frame, length, intraOnly))
                    return true;
            }
            if (!v.SelectSegment(v.CurrentSegment() + 1))
                return Fail();
        }
    }

private:
    // Window bytes as the cursor meets them.
    void Note()
    {
        for (uint32_t k = 0; k < 8 && v.Cursor() + k < v.SegmentBytes(); ++k)
            seg[v.Cursor() + k] = v.CursorByte(k);
    }
    bool Adv()
    {
        if (!v.Advance())
            return false;
        Note();
        return true;
    }
    bool IsCode(uint8_t a, uint8_t b) const
    {
        const uint32_t c = v.Cursor();
        return uint64_t(c) + 3 < v.SegmentBytes() && seg[c] == 0 && seg[c + 1] == 0 && seg[c + 2] == 1 &&
               (seg[c + 3] == a || seg[c + 3] == b);
    }
    bool Fail()
    {
        continuation = false;
        pending = 0;
        return false;
    }
    bool Skip()
    {
        for (uint32_t i = 0; i < Volume::kAudioAreaBytes; ++i)
            if (!Adv())
                return false;
        return true;
    }
    bool Extract(int c, std::vector<uint8_t>& block)
    {
        size_t out = 0;
        for (int sub = 0; sub < 16; ++sub)
            for (int w = 0; w < 128; ++w) {
                block[out++] = v.CursorByte(2 * c);
                if (w != 1)
                    block[out++] = v.CursorByte(2 * c + 1);
                for (int i = 0; i < 8; ++i)
                    if (!Adv())
                        return sub == 15 && w == 127 && i == 7;
            }
        return true;
    }
    bool Scan(std::vector<uint8_t>& frame, uint32_t& length, bool intraOnly)
    {
        for (;;) {
            if (IsCode(0xB6, 0xB6) &&
                (!intraOnly || (uint64_t(v.Cursor()) + 4 < v.SegmentBytes() && (seg[v.Cursor() + 4] & 0xC0) == 0)))
                break;
            if (!Adv())
                return false;
        }
        const uint32_t first = v.Cursor();
        if (Adv()) {
            for (;;) {
                if (IsCode(0xB6, 0xB6)) {
                    const uint32_t videoStart = v.HasAudioArea() ? Volume::kAudioAreaBytes : 0;
                    if (capturePending && first >= videoStart + 27) {
                        std::memcpy(header + 10, &seg[first - 27], 19);
                        capturePending = false;
                    }
                    const uint32_t n = v.Cursor() - first;
                    if (n < Volume::kFrameBufferBytes && n <= frame.size()) {
                        std::memcpy(frame.data(), &seg[first], n);
                        length = n;
                        return true;
                    }
                }
                if (!Adv())
                    break;
            }
        }
        const uint32_t n = v.SegmentBytes() - first;
        if (n > 0 && n < Volume::kFrameBufferBytes && n <= frame.size()) {
            std::memcpy(frame.data(), &seg[first], n);
            length = carry = n;
            continuation = true;
        }
        return false;
    }
    bool Continue(std::vector<uint8_t>& frame, uint32_t& length)
    {
        for (uint32_t i = 0;; ++i) {
            if (IsCode(0xB6, 0xB2))
                break;
            if (i + 1 == Volume::kContinuationSearch || !Adv())
                return Fail();
        }
        const uint32_t q = v.Cursor();
        if (q < frameStart)
            return Fail();
        const uint32_t n = q - frameStart;
        if (atStart) {
            if (carry + n > frame.size())
                return Fail();
            std::memcpy(frame.data() + carry, &seg[frameStart], n);
            length = carry + n;
            split.assign(frame.begin(), frame.begin() + length);
            codes.clear();
            for (uint32_t k = 0; k + 4 <= length && codes.size() < Volume::kMaxSplitPieces; ++k)
                if (split[k] == 0 && split[k + 1] == 0 && split[k + 2] == 1 && split[k + 3] == 0xB6)
                    codes.push_back(k);
            pending = 0;
            if (codes.size() >= 2) {
                length = codes[1];
                pending = static_cast<uint32_t>(codes.size() - 1);
                next = 1;
            }
        } else {
            std::memcpy(frame.data(), &seg[frameStart], n);
            length = n;
        }
        frameStart = q;
        atStart = false;
        if (seg[q + 3] == 0xB2)
            continuation = false;
        return Adv() ? true : Fail();
    }
    bool Piece(std::vector<uint8_t>& frame, uint32_t& length)
    {
        const uint32_t begin = codes[next];
        const uint32_t end = next + 1 < codes.size() ? codes[next + 1] : static_cast<uint32_t>(split.size());
        std::memcpy(frame.data(), split.data() + begin, end - begin);
        length = end - begin;
        ++next;
        --pending;
        return true;
    }

    Volume& v;
    std::vector<uint8_t> seg;
    uint8_t header[29] = {0x00, 0x00, 0x01, 0xB0, 0x03, 0x00, 0x00, 0x01, 0xB5, 0x09};
    bool capturePending = false;
    bool continuation = false;
    bool atStart = false;
    uint32_t frameStart = 0;
    uint32_t carry = 0;
    std::vector<uint8_t> split;
    std::vector<uint32_t> codes;
    uint32_t pending = 0;
    uint32_t next = 0;
};

}  // namespace testing_support

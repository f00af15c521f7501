#include "tools/mkdisk/record_video.h"

#include "tools/mkdisk/picture.h"

namespace mkdisk {
namespace {

class BitWriter {
public:
    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> i) & 1u));
            if (++count_ == 8) {
                bytes_.push_back(acc_);
                acc_ = 0;
                count_ = 0;
            }
        }
    }
    // MPEG-4 stuffing: a 0, then 1s up to the byte boundary (at least one bit).
    std::vector<uint8_t> Finish()
    {
        Put(0, 1);
        while (count_ != 0)
            Put(1, 1);
        return std::move(bytes_);
    }

private:
    std::vector<uint8_t> bytes_;
    uint8_t acc_ = 0;
    int count_ = 0;
};

int TimeIncrementBits(int resolution)
{
    int bits = 1;
    while ((1 << bits) < resolution)
        ++bits;
    return bits;
}

}  // namespace

std::array<uint8_t, kUserDataBytes> UserDataBlock(int camera, uint32_t second)
{
    return {0x00,
            0x00,
            0x01,
            0xB2,
            static_cast<uint8_t>(0x40 + (camera & 3)),
            static_cast<uint8_t>(0x80 | ((second >> 14) & 0x7F)),
            static_cast<uint8_t>(0x80 | ((second >> 7) & 0x7F)),
            static_cast<uint8_t>(0x80 | (second & 0x7F))};
}

std::vector<uint8_t> TinyVop(bool intra, bool secondStart, int frame, int frameRate)
{
    BitWriter w;
    w.Put(0x000001B6, 32);
    w.Put(intra ? 0 : 1, 2);  // vop_coding_type
    if (secondStart)
        w.Put(1, 1);  // modulo_time_base: one more second
    w.Put(0, 1);
    w.Put(1, 1);  // marker
    w.Put(static_cast<uint32_t>(frame), TimeIncrementBits(frameRate));
    w.Put(1, 1);  // marker
    w.Put(0, 1);  // vop_coded = 0
    return w.Finish();
}

platform::Result<void> RecordVideo::Open(const RecordPlan& plan)
{
    plan_ = plan;
    settings_ = {FormatWidth(plan.format), FormatHeight(plan.format), FormatFrameRate(plan.format), plan.qscale};
    if (auto done = VoVolHeader(settings_, voVol_); !done)
        return done.Failure();
    for (int c = 0; c < 4; ++c) {
        encoders_[static_cast<size_t>(c)].reset();
        if (!(plan.videoCameras & (1u << c)))
            continue;
        encoders_[static_cast<size_t>(c)] = std::make_unique<CameraEncoder>();
        if (auto done = encoders_[static_cast<size_t>(c)]->Open(settings_); !done)
            return done.Failure();
        if (plan.scene == Scene::Textured)
            scenes_[static_cast<size_t>(c)].Build(c, SceneSeed(plan.begin, c), settings_.width, settings_.height);
    }
    layout_ = LayoutFor(settings_.width, settings_.height);
    return {};
}

platform::Result<void> RecordVideo::EncodeSecond(uint32_t second, SecondStream& out)
{
    out.bytes.clear();
    out.frames.clear();
    const int rate = settings_.frameRate;
    const RecordTime time = AddSeconds(plan_.begin, second);
    for (int f = 0; f < rate; ++f) {
        for (int c = 0; c < 4; ++c) {
            const bool intra = f == 0;
            StreamFrame frame;
            frame.camera = c;
            frame.frame = f;
            frame.intra = intra;
            CameraEncoder* encoder = encoders_[static_cast<size_t>(c)].get();
            frame.video = encoder != nullptr;
            const std::vector<uint8_t>* voVol = &voVol_;
            std::vector<uint8_t> tiny;
            const std::vector<uint8_t>* vop = &tiny;
            if (encoder) {
                Yuv420View pic;
                if (auto done = encoder->Picture(pic); !done)
                    return done.Failure();
                const PictureContent content{c, time, second, f, rate, plan_.sensorNoise};
                if (plan_.scene == Scene::Textured)
                    scenes_[static_cast<size_t>(c)].Draw(
                        pic, content,
                        ActivityAt(plan_.motion, plan_.lighting, plan_.flickers, layout_, c, second, f, rate));
                else
                    DrawPicture(pic, content);
                if (auto done = encoder->Encode(int64_t{second} * rate + f, intra, encoded_); !done)
                    return done.Failure();
                if (intra)
                    voVol = &encoded_.voVol;
                vop = &encoded_.vop;
            } else {
                tiny = TinyVop(intra, intra && second > 0, f, rate);
            }
            if (intra) {
                frame.headerOffset = static_cast<int64_t>(out.bytes.size());
                out.bytes.insert(out.bytes.end(), voVol->begin(), voVol->end());
                const auto ud = UserDataBlock(c, second);
                out.bytes.insert(out.bytes.end(), ud.begin(), ud.end());
            }
            frame.offset = out.bytes.size();
            out.bytes.insert(out.bytes.end(), vop->begin(), vop->end());
            for (const auto& h : plan_.hugeFrames)
                if (h.second == second && h.camera == c && h.frame == f && out.bytes.size() - frame.offset < h.bytes)
                    out.bytes.resize(frame.offset + h.bytes, 0xFF);  // 0xFF never begins 00 00 01
            frame.length = out.bytes.size() - frame.offset;
            out.frames.push_back(frame);
        }
    }
    return {};
}

}  // namespace mkdisk

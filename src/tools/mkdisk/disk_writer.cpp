#include "tools/mkdisk/disk_writer.h"

#include <algorithm>
#include <zlib.h>

#include "tools/mkdisk/audio_area.h"
#include "tools/mkdisk/record_video.h"

namespace mkdisk {
namespace {

struct PendingFrame {
    StreamFrame frame;
    uint32_t second = 0;
    size_t offset = 0;  // within the segment's content
};

// Writes one record, a segment per second; carry_ holds the stream bytes that a
// straddle cut off the previous segment.
class RecordWriter {
public:
    RecordWriter(const DiskPlan& disk, const RecordPlan& plan, VolumeWriter& volume, ManifestRecord* manifest)
        : disk_(disk), plan_(plan), volume_(volume), manifest_(manifest)
    {
    }

    platform::Result<void> Write()
    {
        if (auto done = video_.Open(plan_); !done)
            return done.Failure();
        if (manifest_)
            manifest_->voVol = video_.VoVol();
        if (disk_.audioAreas) {
            audio_.resize(kAudioAreaBytes);
            BuildAudioArea(plan_.audioCameras, std::span<uint8_t, kAudioAreaBytes>(audio_.data(), kAudioAreaBytes));
        }
        for (uint32_t s = 0; s < plan_.seconds; ++s)
            if (auto done = WriteSecond(s); !done)
                return done.Failure();
        return {};
    }

    // The first sector of each segment written.
    const std::vector<uint32_t>& Starts() const { return starts_; }

private:
    bool IsEmpty(uint32_t s) const
    {
        return std::find(plan_.emptySegments.begin(), plan_.emptySegments.end(), s) != plan_.emptySegments.end();
    }

    const StraddleSpec* StraddleAt(uint32_t s) const
    {
        for (const auto& st : plan_.straddles)
            if (st.segment == s)
                return &st;
        return nullptr;
    }

    platform::Result<void> WriteSecond(uint32_t s)
    {
        const uint32_t firstSector = volume_.NextSector();
        starts_.push_back(firstSector);
        if (IsEmpty(s)) {
            // The recorder lost this second: no bytes, equal index entries.
            RecordSegment(firstSector, 0, 0);
            return volume_.AppendSegment({});
        }
        if (auto done = video_.EncodeSecond(s, stream_); !done)
            return done.Failure();

        content_.assign(audio_.begin(), audio_.end());
        const size_t videoStart = content_.size();
        content_.insert(content_.end(), carry_.begin(), carry_.end());
        for (auto& p : carried_)
            p.offset += videoStart;
        frames_ = std::move(carried_);
        carried_.clear();
        const size_t streamStart = content_.size();
        content_.insert(content_.end(), stream_.bytes.begin(), stream_.bytes.end());
        for (const auto& f : stream_.frames)
            frames_.push_back({f, s, streamStart + f.offset});
        carry_.clear();

        size_t cut = content_.size();
        if (const StraddleSpec* st = StraddleAt(s)) {
            if (!FindCut(*st, cut)) {
                return platform::Error{platform::ErrorKind::Refused, "no frame of segment " + std::to_string(s) +
                                                                         " crosses a sector boundary to straddle"};
            }
            carry_.assign(content_.begin() + static_cast<ptrdiff_t>(cut), content_.end());
        }

        // Frames wholly after the cut belong to the next segment.
        std::vector<PendingFrame> here;
        for (auto& p : frames_) {
            if (p.offset >= cut) {
                p.offset -= cut;
                carried_.push_back(p);
            } else {
                here.push_back(p);
            }
        }
        RecordSegment(firstSector, static_cast<uint32_t>(videoStart), static_cast<uint32_t>(cut));
        if (manifest_)
            for (const auto& p : here)
                Note(p, s, cut);
        return volume_.AppendSegment(std::span<const uint8_t>(content_.data(), cut));
    }

    // A cut at a sector boundary strictly inside a frame, searched backwards.
    bool FindCut(const StraddleSpec& st, size_t& cut) const
    {
        if (frames_.empty())
            return false;
        const size_t last = frames_.size() - 1;
        const size_t from = st.framesFromEnd > last ? 0 : last - st.framesFromEnd;
        for (size_t i = from + 1; i-- > 0;) {
            const size_t begin = frames_[i].offset;
            const size_t end = begin + frames_[i].frame.length;
            // Keep the start code and at least four more bytes in this segment. A
            // frame's bytes end where the next header or VOP begins, so headers
            // are never cut.
            const size_t first = ((begin + 8 + kSectorSize - 1) / kSectorSize) * kSectorSize;
            if (first < end) {
                cut = st.early ? first : ((end - 1) / kSectorSize) * kSectorSize;
                return true;
            }
        }
        return false;
    }

    void RecordSegment(uint32_t firstSector, uint32_t videoStart, uint32_t contentBytes)
    {
        if (!manifest_)
            return;
        manifest_->segments.push_back(
            {firstSector, (contentBytes + kSectorSize - 1) / kSectorSize, videoStart, contentBytes});
    }

    void Note(const PendingFrame& p, uint32_t segment, size_t cut)
    {
        ManifestFrame m;
        m.camera = p.frame.camera;
        m.second = p.second;
        m.frame = p.frame.frame;
        m.intra = p.frame.intra;
        m.video = p.frame.video;
        m.segment = segment;
        m.offset = static_cast<uint32_t>(p.offset);
        // A cut never falls inside a header: it stands right before its VOP.
        m.headerOffset = p.frame.headerOffset >= 0 ? static_cast<int64_t>(p.offset - kVoVolBytes - kUserDataBytes) : -1;
        m.length = static_cast<uint32_t>(p.frame.length);
        m.bytesInSegment = static_cast<uint32_t>(std::min(p.frame.length, cut - p.offset));
        const size_t inHere = m.bytesInSegment;
        uint32_t crc = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
        crc = static_cast<uint32_t>(crc32(crc, content_.data() + p.offset, static_cast<uInt>(inHere)));
        if (inHere < p.frame.length)
            crc = static_cast<uint32_t>(crc32(crc, carry_.data(), static_cast<uInt>(p.frame.length - inHere)));
        m.crc = crc;
        manifest_->frames.push_back(m);
    }

    const DiskPlan& disk_;
    const RecordPlan& plan_;
    VolumeWriter& volume_;
    ManifestRecord* manifest_;
    RecordVideo video_;
    SecondStream stream_;
    std::vector<uint8_t> audio_;
    std::vector<uint8_t> content_;
    std::vector<uint8_t> carry_;
    std::vector<PendingFrame> frames_;
    std::vector<PendingFrame> carried_;
    std::vector<uint32_t> starts_;
};

// Table slots and index entries of the plan's records: listed ones in the run
// from the first entry position, dropped ones just before it, the rest after the
// listed run, each group in plan order.
std::vector<RecordLayout> LayoutsFor(const DiskPlan& plan)
{
    const auto& records = plan.records;
    const uint32_t first = plan.fields.firstEntryPosition == 0 ? 1 : plan.fields.firstEntryPosition;
    uint32_t listed = 0, dropped = 0;
    for (const auto& r : records) {
        listed += r.placement == Placement::Listed;
        dropped += r.placement == Placement::Dropped;
    }
    std::vector<RecordLayout> layouts;
    uint32_t nextListed = first, nextDropped = first - dropped, nextAfter = first + listed;
    for (const auto& r : records) {
        RecordLayout l;
        l.entryWritten = EntryWritten(r.placement);
        l.indexWritten = IndexWritten(r.placement);
        switch (r.placement) {
        case Placement::Listed: l.slot = nextListed++; break;
        case Placement::Dropped: l.slot = nextDropped++; break;
        default: l.slot = nextAfter++; break;
        }
        layouts.push_back(l);
    }
    return layouts;
}

}  // namespace

RecordHeader HeaderFor(const DiskPlan& disk, const RecordPlan& r)
{
    RecordHeader h;
    h.begin = r.begin;
    h.kindFlags = static_cast<uint8_t>(r.kind);
    h.formatByte =
        static_cast<uint8_t>(static_cast<uint8_t>(r.format) | (r.audioAreaBit.value_or(disk.audioAreas) ? 0x80 : 0));
    h.videoChannels = r.videoChannelField.value_or(r.videoCameras);
    h.audioChannels = r.audioChannelField.value_or(r.audioCameras);
    return h;
}

platform::Result<void> WriteDisk(const DiskPlan& plan, const std::string& path, Manifest* manifest)
{
    if (auto done = ValidatePlan(plan); !done)
        return done.Failure();
    std::vector<RecordHeader> headers;
    std::vector<uint32_t> counts;
    for (const auto& r : plan.records) {
        headers.push_back(HeaderFor(plan, r));
        counts.push_back(r.seconds);
    }
    // A plan of listed records only keeps the writer's own layout, byte for byte
    // what it always wrote (a first entry position of 0 included).
    const bool allListed = std::all_of(plan.records.begin(), plan.records.end(),
                                       [](const RecordPlan& r) { return r.placement == Placement::Listed; });
    VolumeFields fields = plan.fields;
    if (!allListed && !fields.recordCount) {
        fields.recordCount =
            static_cast<uint16_t>(std::count_if(plan.records.begin(), plan.records.end(),
                                                [](const RecordPlan& r) { return r.placement == Placement::Listed; }));
    }
    VolumeWriter volume;
    if (auto done =
            volume.Open(path, headers, counts, fields, allListed ? std::vector<RecordLayout>{} : LayoutsFor(plan));
        !done)
        return done.Failure();
    if (manifest) {
        *manifest = {};
        manifest->tableSector = volume.TableSector();
        manifest->indexSector = volume.IndexSector();
        manifest->tableSectors = volume.TableSectors();
        manifest->indexSectors = volume.IndexSectors();
    }
    std::vector<uint32_t> previousStarts;  // of the record before, when the next one is written over it
    for (size_t i = 0; i < plan.records.size(); ++i) {
        const RecordPlan& r = plan.records[i];
        const uint32_t overwrite = i > 0 ? plan.records[i - 1].overwrittenSeconds : 0;
        if (overwrite != 0) {
            const RecordPlan& victim = plan.records[i - 1];
            if (auto done = volume.RewindTo(previousStarts.at(victim.seconds - overwrite)); !done) {
                volume.Discard();
                return done;
            }
        }
        ManifestRecord* mr = nullptr;
        if (manifest) {
            manifest->records.push_back({});
            mr = &manifest->records.back();
            mr->header = headers[i];
            mr->placement = r.placement;
            mr->slot = volume.Slot(i);
            mr->segmentCount = r.seconds;
            mr->indexOffset = volume.IndexOffset(i);
            mr->width = FormatWidth(r.format);
            mr->height = FormatHeight(r.format);
            mr->frameRate = FormatFrameRate(r.format);
            mr->scene = r.scene;
            mr->motion = r.motion;
            mr->lighting = r.lighting;
            mr->flickers = r.flickers;
        }
        RecordWriter writer(plan, r, volume, mr);
        auto written = volume.BeginRecord(i);
        if (written)
            written = writer.Write();
        // The record written over the last seconds of the one before must reach
        // into that one's last second, or fewer seconds were overwritten than planned.
        if (written && overwrite != 0 && volume.NextSector() <= previousStarts.back()) {
            written = platform::Error{platform::ErrorKind::Refused,
                                      "record " + std::to_string(i + 1) + " ends before the last second of record " +
                                          std::to_string(i) + ": give it more seconds or overwrite fewer"};
        }
        if (!written) {
            volume.Discard();
            return written;
        }
        previousStarts = r.overwrittenSeconds != 0 ? writer.Starts() : std::vector<uint32_t>{};
    }
    if (manifest) {
        manifest->totalSectors = volume.EndSector();
        NoteOverwrites(*manifest);
    }
    auto finished = volume.Finish();
    if (!finished)
        volume.Discard();
    return finished;
}

}  // namespace mkdisk

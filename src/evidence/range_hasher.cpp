#include "evidence/range_hasher.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "evidence/digest.h"

namespace evidence {

namespace {

// One digest kind's state: the whole pass and the run being read. With a
// single run the two are the same and the bytes are hashed once. Touched
// only by the lane's own thread while the pass runs.
struct Lane {
    Lane(DigestKind kind, bool perRun) : total(kind), run(kind), perRun(perRun) {}
    Digest total;
    Digest run;
    bool perRun;
    std::thread thread;
    bool inlined = false;  // no thread could be made: the reader hashes for it
    void Add(std::span<const uint8_t> bytes)
    {
        total.Update(bytes);
        if (perRun)
            run.Update(bytes);
    }
};

struct Chunk {
    std::size_t run = 0;
    uint32_t bytes = 0;
    bool lastOfRun = false;
};

struct Slot {
    Chunk chunk;
    int pending = 0;  // lanes that have not hashed it yet
};

}  // namespace

platform::Result<HashResult> RangeHasher::Hash(disk::RawDisk& disk, std::span<const SectorRun> runs, bool md5,
                                               const HashProgress& progress)
{
    using platform::Error;
    using platform::ErrorKind;
    HashResult result;
    result.runs.resize(runs.size());
    uint64_t totalSectors = 0;
    uint64_t largest = 0;
    const uint64_t diskSectors = disk.SectorCount();
    for (const SectorRun& r : runs) {
        if (r.first > diskSectors || r.count > diskSectors - r.first) {
            return Error{ErrorKind::Refused, std::to_string(r.count) + " sectors from sector " +
                                                 std::to_string(r.first) + " lie past the disk's end (" +
                                                 std::to_string(diskSectors) + " sectors)"};
        }
        totalSectors += r.count;
        largest = std::max(largest, r.count);
    }
    const bool perRun = runs.size() > 1;
    std::vector<Lane> lanes;
    lanes.reserve(2);
    lanes.emplace_back(DigestKind::Sha256, perRun);
    if (md5)
        lanes.emplace_back(DigestKind::Md5, perRun);
    for (const Lane& lane : lanes)
        if (!lane.total.IsValid() || !lane.run.IsValid())
            return Error{ErrorKind::Unsupported, "libcrypto could not set up the hash"};

    const std::size_t chunkBytes = std::size_t(std::min<uint64_t>(kChunkSectors, largest)) * disk::kSectorBytes;
    if (chunkBytes > bufferBytes) {
        for (auto& b : buffers)
            b.reset();
        for (auto& b : buffers)
            b = std::make_unique_for_overwrite<uint8_t[]>(chunkBytes);
        bufferBytes = chunkBytes;
    }

    std::mutex lock;
    std::condition_variable changed;
    Slot slots[kRing];
    uint64_t published = 0;  // chunks handed to the lanes
    bool ended = false;      // no more will come

    const auto finishRun = [&](Lane& lane, std::size_t run) {
        if (!lane.perRun)
            return;
        (lane.total.Kind() == DigestKind::Sha256 ? result.runs[run].sha256 : result.runs[run].md5) =
            lane.run.FinishHex();
    };
    // Hashes chunk k of the ring, then gives its slot back.
    const auto hashChunk = [&](Lane& lane, uint64_t k, const Chunk& c) {
        lane.Add(std::span<const uint8_t>(buffers[k % kRing].get(), c.bytes));
        if (c.lastOfRun)
            finishRun(lane, c.run);
        std::lock_guard guard(lock);
        if (--slots[k % kRing].pending == 0)
            changed.notify_all();
    };
    const auto laneBody = [&](Lane& lane) {
        for (uint64_t k = 0;; ++k) {
            Chunk c;
            {
                std::unique_lock guard(lock);
                changed.wait(guard, [&] { return published > k || ended; });
                if (published <= k)
                    return;
                c = slots[k % kRing].chunk;
            }
            hashChunk(lane, k, c);
        }
    };
    for (Lane& lane : lanes) {
        // Without a thread to spare, the lane is hashed by the reader: slower, never lost.
        try {
            lane.thread = std::thread(laneBody, std::ref(lane));
        } catch (const std::system_error&) {
            lane.inlined = true;
        }
    }

    std::size_t run = 0;
    uint64_t offset = 0;  // within the run
    uint64_t done = 0;
    // The next chunk to read: runs without sectors are finished at once.
    const auto nextChunk = [&](Chunk& c, uint64_t& first, uint32_t& count) {
        while (run < runs.size() && offset >= runs[run].count) {
            // The lanes' own digests may be busy on another thread.
            if (runs[run].count == 0) {
                result.runs[run].sha256 = Digest(DigestKind::Sha256).FinishHex();
                if (md5)
                    result.runs[run].md5 = Digest(DigestKind::Md5).FinishHex();
            }
            ++run;
            offset = 0;
        }
        if (run >= runs.size())
            return false;
        count = static_cast<uint32_t>(std::min<uint64_t>(kChunkSectors, runs[run].count - offset));
        first = runs[run].first + offset;
        offset += count;
        c = {run, count * disk::kSectorBytes, offset >= runs[run].count};
        return true;
    };

    std::string error;
    for (uint64_t k = 0;; ++k) {
        Chunk c;
        uint64_t first = 0;
        uint32_t count = 0;
        if (!nextChunk(c, first, count))
            break;
        Slot& slot = slots[k % kRing];
        {
            std::unique_lock guard(lock);
            changed.wait(guard, [&] { return slot.pending == 0; });
        }
        // The slot is the reader's alone until published.
        std::string why;
        if (!disk.ReadSectorRun(first, count, std::span<uint8_t>(buffers[k % kRing].get(), c.bytes), why)) {
            error = "cannot read sectors " + std::to_string(first) + " to " + std::to_string(first + count - 1) + ": " +
                    why;
            break;
        }
        {
            std::lock_guard guard(lock);
            slot.chunk = c;
            slot.pending = int(lanes.size());
            ++published;
            changed.notify_all();
        }
        for (Lane& lane : lanes)
            if (lane.inlined)
                hashChunk(lane, k, c);
        done += count;
        if (progress)
            progress(done, totalSectors);
    }
    {
        std::lock_guard guard(lock);
        ended = true;
        changed.notify_all();
    }
    for (Lane& lane : lanes)
        if (lane.thread.joinable())
            lane.thread.join();
    if (!error.empty())
        return Error{ErrorKind::ReadFailed, error};
    result.total.sha256 = lanes[0].total.FinishHex();
    if (md5)
        result.total.md5 = lanes[1].total.FinishHex();
    result.bytes = totalSectors * disk::kSectorBytes;
    if (!perRun && !runs.empty() && runs[0].count > 0)
        result.runs[0] = result.total;
    for (const Lane& lane : lanes)
        if (!lane.total.IsValid())
            return Error{ErrorKind::Unsupported, "libcrypto failed while hashing"};
    return result;
}

}  // namespace evidence

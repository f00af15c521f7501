#include "evidence/range_hasher.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include "evidence/digest.h"

namespace evidence {

namespace {

// One digest kind's state: the whole pass and the run being read. With a
// single run the two are the same and the bytes are hashed once.
struct Lane {
    Lane(DigestKind kind, bool perRun) : total(kind), run(kind), perRun(perRun) {}
    Digest total;
    Digest run;
    bool perRun;
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

}  // namespace

RangeHasher::RangeHasher()
{
    for (auto& b : buffers)
        b.resize(std::size_t(kChunkSectors) * disk::kSectorBytes);
}

platform::Result<HashResult> RangeHasher::Hash(disk::RawDisk& disk, std::span<const SectorRun> runs, bool md5,
                                               const HashProgress& progress)
{
    using platform::Error;
    using platform::ErrorKind;
    HashResult result;
    result.runs.resize(runs.size());
    uint64_t totalSectors = 0;
    const uint64_t diskSectors = disk.SectorCount();
    for (const SectorRun& r : runs) {
        if (r.first > diskSectors || r.count > diskSectors - r.first) {
            return Error{ErrorKind::Refused, std::to_string(r.count) + " sectors from sector " +
                                                 std::to_string(r.first) + " lie past the disk's end (" +
                                                 std::to_string(diskSectors) + " sectors)"};
        }
        totalSectors += r.count;
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

    const auto finishRun = [&](Lane& lane, std::size_t run) {
        if (!lane.perRun)
            return;
        (lane.total.Kind() == DigestKind::Sha256 ? result.runs[run].sha256 : result.runs[run].md5) =
            lane.run.FinishHex();
    };
    // Hashes a chunk in every lane, each on a thread of its own.
    const auto hashChunk = [&](const Chunk& c, const std::vector<uint8_t>& buffer, std::vector<std::thread>& threads) {
        const std::span<const uint8_t> bytes(buffer.data(), c.bytes);
        for (std::size_t i = 0; i < lanes.size(); ++i) {
            const auto work = [&, i, c, bytes] {
                lanes[i].Add(bytes);
                if (c.lastOfRun)
                    finishRun(lanes[i], c.run);
            };
            // Without a thread to spare, the lane is hashed here: slower, never lost.
            try {
                threads.emplace_back(work);
            } catch (const std::system_error&) {
                work();
            }
        }
    };

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

    std::vector<std::thread> threads;
    threads.reserve(lanes.size());
    const auto join = [&] {
        for (auto& t : threads)
            t.join();
        threads.clear();
    };
    int current = 0;
    bool ok = true;
    std::string error;
    for (;;) {
        Chunk c;
        uint64_t first = 0;
        uint32_t count = 0;
        const bool more = nextChunk(c, first, count);
        std::string why;
        if (more && !disk.ReadSectorRun(first, count, buffers[current], why)) {
            error = "cannot read sectors " + std::to_string(first) + " to " + std::to_string(first + count - 1) + ": " +
                    why;
            ok = false;
        }
        join();
        if (!ok || !more)
            break;
        hashChunk(c, buffers[current], threads);
        done += count;
        if (progress)
            progress(done, totalSectors);
        current ^= 1;
    }
    join();
    if (!ok)
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

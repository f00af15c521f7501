#pragma once
// SHA-256 (and MD5) of runs of disk sectors in one read pass: of each run and
// of all of them in order. The caller's thread reads chunks into a ring of
// buffers while a thread per digest hashes them in order, each at its own
// pace, so that a pass costs about as much as its slowest digest and a late
// wake-up of one thread (a busy machine) is absorbed by the ring instead of
// stalling the others.
//
// Threads: Hash runs on the caller's thread and starts and joins the digest
// threads within the call; the ring's slots, the count of chunks published
// and the end flag are guarded by the call's own lock.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "disk/raw_disk.h"
#include "platform/error.h"

namespace evidence {

struct SectorRun {
    uint64_t first = 0;
    uint64_t count = 0;
};

struct RunHashes {
    std::string sha256;
    std::string md5;  // empty without MD5
};

struct HashResult {
    std::vector<RunHashes> runs;  // one per run, in order
    RunHashes total;
    uint64_t bytes = 0;
};

// Sectors read so far of the total.
using HashProgress = std::function<void(uint64_t done, uint64_t total)>;

class RangeHasher {
public:
    static constexpr uint32_t kChunkSectors = 8192;  // 4 MiB
    static constexpr int kRing = 6;

    RangeHasher() = default;
    // Fails when a run lies past the disk (Refused), a read fails
    // (ReadFailed) or libcrypto cannot hash (Unsupported).
    platform::Result<HashResult> Hash(disk::RawDisk& disk, std::span<const SectorRun> runs, bool md5,
                                      const HashProgress& progress);

private:
    // Made on first use, as large as the runs need, kept for later calls;
    // not zeroed (every read fills what is hashed).
    std::unique_ptr<uint8_t[]> buffers[kRing];
    std::size_t bufferBytes = 0;
};

}  // namespace evidence

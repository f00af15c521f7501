#pragma once
// An activity search's document as `quillon-cli activity --json` writes
// it, read back so that verify can search again and compare: the disk, the
// mode, every parameter, the records searched, the events and their
// SHA-256. A document that is damaged or edited (not JSON, a field missing
// or of the wrong type, a number out of range) is refused with the reason.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace evidence {

struct ActivityDocumentEvent {
    std::string record;   // as people name it: "3", "u2"
    uint32_t camera = 0;  // 1..4
    int64_t begin = 0;
    int64_t end = 0;
    uint32_t peak = 0;
    bool operator==(const ActivityDocumentEvent&) const = default;
};

struct ActivityDocument {
    // 2: the exact mode's moving patches, light fit and absorption, with
    // their three parameters; a document of version 1 was searched by a
    // model this program no longer has.
    static constexpr int kVersion = 2;
    // The whole-number parameters, each of which must be there.
    static constexpr std::array<const char*, 17> kNumbers = {
        "share_permille", "min_frames_per_second", "learning_shift",   "k_tenths",     "floor_levels",
        "downscale",      "warmup_frames",         "global_permille",  "moving_cells", "absorb_frames",
        "size_window",    "size_warmup_frames",    "score_hundredths", "gap_seconds",  "before_seconds",
        "after_seconds",  "min_event_seconds"};

    std::string mode;               // "fast" or "exact"
    std::string diskPath;           // the disk searched, as it was named
    std::vector<uint32_t> cameras;  // 1..4
    int64_t from = 0;
    int64_t to = -1;
    std::map<std::string, uint32_t> numbers;
    // Per camera: x, y, width, height, or all 0 for the whole picture.
    std::array<std::array<uint32_t, 4>, 4> regions{};
    std::vector<std::string> records;
    std::vector<ActivityDocumentEvent> events;
    std::string eventsSha256;
};

platform::Result<ActivityDocument> ParseActivityDocument(std::string_view text);

// The lines events_sha256 is taken over: "record camera begin end peak",
// tab-separated, one per event in the document's order.
std::string ActivityEventLines(const std::vector<ActivityDocumentEvent>& events);
// The SHA-256 of those lines, in lower-case hex; empty when libcrypto
// could not hash.
std::string ActivityEventsSha256(const std::vector<ActivityDocumentEvent>& events);

}  // namespace evidence

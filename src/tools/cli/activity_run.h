#pragma once
// The activity search as the command line runs it, for `activity` and for
// `verify` of an activity document: records searched one after the other
// through the loaded volume's reader, a progress bar on a terminal, each
// event with its times.
#include <string>
#include <vector>

#include "disk/recorder_volume.h"
#include "evidence/activity_document.h"
#include "platform/error.h"
#include "playback/activity_search.h"

namespace cli {

struct SearchedRecord {
    std::string name;  // as people name the record
    playback::RecordActivity activity;
    std::vector<std::string> beginTimes, endTimes;  // one per event
};

// Searches the records (numbers from 0) in order. A record that cannot be
// opened is left out, and said so on stderr, as is a camera without video;
// perSecondLines prints a 'second' line per camera-second.
platform::Result<std::vector<SearchedRecord>> SearchRecords(disk::RecorderVolume& volume,
                                                            const std::vector<uint32_t>& records,
                                                            const playback::ActivityRequest& request,
                                                            bool perSecondLines);

// The events as the document lists them.
std::vector<evidence::ActivityDocumentEvent> DocumentEvents(const std::vector<SearchedRecord>& searched);

// The search a document names: its mode, cameras, range and parameters.
platform::Result<playback::ActivityRequest> RequestOf(const evidence::ActivityDocument& document);

}  // namespace cli

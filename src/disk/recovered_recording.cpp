#include "disk/recovered_recording.h"

#include <algorithm>

namespace disk {

const char* RecoverySourceName(RecoverySource source)
{
    switch (source) {
    case RecoverySource::TableSlot: return "table slot";
    case RecoverySource::IndexRun: return "index run";
    case RecoverySource::Carved: return "carved";
    }
    return "?";
}

const char* SegmentStatusName(SegmentStatus status)
{
    switch (status) {
    case SegmentStatus::Intact: return "intact";
    case SegmentStatus::Overwritten: return "overwritten";
    case SegmentStatus::Damaged: return "damaged";
    }
    return "?";
}

const char* SectorKindName(SectorKind kind)
{
    switch (kind) {
    case SectorKind::Header: return "header";
    case SectorKind::RecordTable: return "record table";
    case SectorKind::IndexArea: return "index area";
    case SectorKind::ListedData: return "listed data";
    case SectorKind::UnlistedIntact: return "unlisted intact";
    case SectorKind::Overwritten: return "overwritten";
    case SectorKind::IndexRunData: return "index-run data";
    case SectorKind::Carved: return "carved";
    case SectorKind::Unknown: return "unused or unknown";
    }
    return "?";
}

uint32_t RecoveredRecording::Count(SegmentStatus s) const
{
    return static_cast<uint32_t>(std::count(status.begin(), status.end(), s));
}

const RecoveredRecording* Recovery::Find(const std::string& id) const
{
    for (const RecoveredRecording& r : recordings)
        if (r.id == id)
            return &r;
    return nullptr;
}

}  // namespace disk

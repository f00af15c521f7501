#include "evidence/report_reader.h"

#include <nlohmann/json.hpp>
#include <set>

namespace evidence {

namespace {

using Json = nlohmann::json;

// Sector numbers of any disk whose bytes a 64-bit offset reaches, and
// counts no read of ours exceeds.
constexpr uint64_t kMaxSector = UINT64_MAX / 512 - 1;
constexpr uint64_t kMaxPosition = UINT32_MAX;
constexpr uint64_t kMaxRanges = (1u << 24) + 8;

class Reader {
public:
    std::string error;

    const Json* Field(const Json& object, const char* name, const std::string& where)
    {
        if (!object.is_object()) {
            Fail(where + " is not an object");
            return nullptr;
        }
        const auto it = object.find(name);
        if (it == object.end()) {
            Fail(where + "." + name + " is missing");
            return nullptr;
        }
        return &*it;
    }
    bool Text(const Json& object, const char* name, const std::string& where, std::string& out)
    {
        const Json* v = Field(object, name, where);
        if (!v)
            return false;
        if (!v->is_string())
            return Fail(where + "." + name + " is not text");
        out = v->get_ref<const std::string&>();
        return true;
    }
    bool Number(const Json& object, const char* name, const std::string& where, uint64_t max, uint64_t& out)
    {
        const Json* v = Field(object, name, where);
        if (!v)
            return false;
        if (!v->is_number_unsigned())
            return Fail(where + "." + name + " is not a whole number of 0 or more");
        out = v->get<uint64_t>();
        if (out > max)
            return Fail(where + "." + name + " is out of range (" + std::to_string(out) + ")");
        return true;
    }
    bool Hash(const Json& object, const char* name, const std::string& where, std::size_t digits, std::string& out)
    {
        if (!Text(object, name, where, out))
            return false;
        if (out.size() != digits || out.find_first_not_of("0123456789abcdef") != std::string::npos)
            return Fail(where + "." + name + " is not a hash of " + std::to_string(digits) + " hex digits");
        return true;
    }
    bool Range(const Json& object, const std::string& what, const std::string& where, CheckedRange& out)
    {
        out.what = what;
        if (!Number(object, "first_sector", where, kMaxSector, out.firstSector) ||
            !Number(object, "sector_count", where, kMaxSector, out.sectorCount) ||
            !Hash(object, "sha256", where, 64, out.sha256))
            return false;
        if (out.sectorCount == 0 || out.firstSector + out.sectorCount - 1 > kMaxSector)
            return Fail(where + " is not a range of sectors the disk can have");
        return true;
    }
    bool Fail(std::string why)
    {
        if (error.empty())
            error = std::move(why);
        return false;
    }
};

// A whole number that may be negative (a file's time).
bool SignedNumber(Reader& r, const Json& object, const char* name, const std::string& where, int64_t& out)
{
    const Json* v = r.Field(object, name, where);
    if (!v)
        return false;
    if (!v->is_number_integer())
        return r.Fail(where + "." + name + " is not a whole number");
    out = v->get<int64_t>();
    return true;
}

bool TextOrNull(Reader& r, const Json& object, const char* name, const std::string& where, std::string& out)
{
    const Json* v = r.Field(object, name, where);
    if (!v)
        return false;
    if (v->is_null()) {
        out.clear();
        return true;
    }
    return r.Text(object, name, where, out);
}

bool Identity(Reader& r, const Json& source, platform::DriveIdentity& out)
{
    const Json* id = r.Field(source, "identity", "source");
    if (!id)
        return false;
    const std::string where = "source.identity";
    const Json* known = r.Field(*id, "known", where);
    std::string kind;
    uint64_t number = 0;
    if (!known || !r.Text(*id, "path", where, out.path) || !TextOrNull(r, *id, "format", where, out.format) ||
        !r.Text(*id, "kind", where, kind) || !r.Number(*id, "size_bytes", where, UINT64_MAX, out.sizeBytes))
        return false;
    if (!known->is_boolean())
        return r.Fail(where + ".known is not true or false");
    out.statKnown = known->get<bool>();
    if (kind != "file" && kind != "block device")
        return r.Fail(where + ".kind is neither file nor block device");
    out.isDevice = kind == "block device";
    if (out.isDevice) {
        if (!r.Number(*id, "major", where, UINT32_MAX, number))
            return false;
        out.major = static_cast<uint32_t>(number);
        if (!r.Number(*id, "minor", where, UINT32_MAX, number))
            return false;
        out.minor = static_cast<uint32_t>(number);
        if (!TextOrNull(r, *id, "model", where, out.model) || !TextOrNull(r, *id, "serial", where, out.serial))
            return false;
    } else if (!r.Number(*id, "st_dev", where, UINT64_MAX, out.device) ||
               !r.Number(*id, "st_ino", where, UINT64_MAX, out.inode) ||
               !r.Number(*id, "file_bytes", where, UINT64_MAX, out.fileBytes) ||
               !SignedNumber(r, *id, "mtime_seconds", where, out.modifiedSeconds) ||
               !SignedNumber(r, *id, "mtime_nanoseconds", where, out.modifiedNanoseconds)) {
        return false;
    }
    const Json* files = r.Field(*id, "files", where);
    if (!files)
        return false;
    if (!files->is_array() || files->size() > kMaxRanges)
        return r.Fail(where + ".files is not a list of names");
    for (const Json& file : *files) {
        if (!file.is_string())
            return r.Fail(where + ".files holds something other than a name");
        out.files.push_back(file.get<std::string>());
    }
    return true;
}

// What the export used beside the stream cursor's reads: the disk as opened,
// the sectors the stream header came from, the master's sound areas.
bool OpenedDiskAndSideReads(Reader& r, const Json& j, const Json& source, ReportToCheck& out)
{
    if (!Identity(r, source, out.sourceIdentity))
        return false;
    const Json* header = r.Field(j, "stream_header", "report");
    if (!header)
        return false;
    // A header whose sectors could not be read again when the report was
    // written has no hash to check (that report is not complete).
    const bool unhashed = header->is_object() && header->contains("sha256") && (*header)["sha256"].is_null();
    if (unhashed)
        out.unhashed.push_back("stream header");
    if (!header->is_null() && !unhashed) {
        uint64_t position = 0;
        CheckedRange checked;
        if (!r.Number(*header, "position", "stream_header", kMaxSector, position) ||
            !r.Range(*header, "stream header (captured at position " + std::to_string(position) + ")", "stream_header",
                     checked))
            return false;
        out.ranges.push_back(std::move(checked));
    }
    const Json* sound = r.Field(j, "sound_reads", "report");
    if (!sound)
        return false;
    if (!sound->is_array())
        return r.Fail("report.sound_reads is not a list");
    if (sound->size() > kMaxRanges)
        return r.Fail("report.sound_reads has more entries than any record has segments");
    for (std::size_t i = 0; i < sound->size(); ++i) {
        const std::string where = "sound_reads[" + std::to_string(i) + "]";
        uint64_t position = 0;
        CheckedRange checked;
        if (!r.Number((*sound)[i], "position", where, kMaxSector, position) ||
            !r.Range((*sound)[i], "sound area at position " + std::to_string(position), where, checked))
            return false;
        out.ranges.push_back(std::move(checked));
    }
    return true;
}

// A recovered recording's id and source, when the report names one (reports
// of listed records and older reports have no "recovered").
bool Recovered(Reader& r, const Json& j, ReportToCheck& out)
{
    if (!j.contains("recovered") || j["recovered"].is_null())
        return true;
    const Json& recovered = j["recovered"];
    if (!r.Text(recovered, "id", "recovered", out.recoveredId) ||
        !r.Text(recovered, "source", "recovered", out.recoveredSource))
        return false;
    const std::string& id = out.recoveredId;
    if (id.size() < 2 || id.size() > 11 || id[1] == '0' || id.find_first_not_of("0123456789", 1) != std::string::npos ||
        std::string_view("uic").find(id[0]) == std::string_view::npos)
        return r.Fail("recovered.id is not the id of a recovered recording");
    const std::string& source = out.recoveredSource;
    if (source != "table slot" && source != "index run" && source != "carved")
        return r.Fail("recovered.source is not a place a recording is recovered from");
    return true;
}

// "2006/03/15 23:59:50", the record list's shape, which sorts as it reads.
bool ListTime(Reader& r, const Json& object, const char* name, const std::string& where, std::string& out)
{
    if (!r.Text(object, name, where, out))
        return false;
    static constexpr std::string_view kShape = "dddd/dd/dd dd:dd:dd";
    bool shaped = out.size() == kShape.size();
    for (std::size_t i = 0; shaped && i < out.size(); ++i)
        shaped = kShape[i] == 'd' ? out[i] >= '0' && out[i] <= '9' : out[i] == kShape[i];
    return shaped || r.Fail(where + "." + name + " is not a time YYYY/MM/DD HH:MM:SS");
}

// One record's part of an export by time: its record, positions and
// seconds; the index and stream header it was read with join the ranges to
// check, and its reads (readsAt onwards in out.ranges) are named with the
// record. nextRead is where the next part's reads may begin.
bool RangeRecordPart(Reader& r, const Json& part, const std::string& where, std::size_t readsAt, std::size_t readCount,
                     std::size_t& nextRead, ReportToCheck& out)
{
    uint64_t record = 0, first = 0, last = 0, firstRead = 0, count = 0;
    if (!r.Number(part, "record", where, kMaxPosition, record) ||
        !r.Number(part, "first_position", where, kMaxPosition, first) ||
        !r.Number(part, "last_position", where, kMaxPosition, last) ||
        !r.Number(part, "first_read", where, kMaxRanges, firstRead) ||
        !r.Number(part, "read_count", where, kMaxRanges, count))
        return false;
    if (record == 0 || last < first)
        return r.Fail(where + " is not a record's positions");
    if (firstRead < nextRead || firstRead + count > readCount)
        return r.Fail(where + " names reads the report does not list in order");
    nextRead = firstRead + count;
    const std::string name = "record " + std::to_string(record);
    for (std::size_t i = firstRead; i < firstRead + count; ++i)
        out.ranges[readsAt + i].what = name + ", " + out.ranges[readsAt + i].what;
    const Json* index = r.Field(part, "record_index", where);
    if (!index)
        return false;
    if (index->is_object() && index->contains("sha256") && (*index)["sha256"].is_null()) {
        out.unhashed.push_back(name + " index");
    } else {
        CheckedRange checked;
        if (!r.Range(*index, name + " index", where + ".record_index", checked))
            return false;
        out.ranges.push_back(std::move(checked));
    }
    const Json* header = r.Field(part, "stream_header", where);
    if (!header)
        return false;
    if (header->is_object() && header->contains("sha256") && (*header)["sha256"].is_null()) {
        out.unhashed.push_back(name + " stream header");
    } else if (!header->is_null()) {
        uint64_t position = 0;
        CheckedRange checked;
        if (!r.Number(*header, "position", where + ".stream_header", kMaxPosition, position) ||
            !r.Range(*header, name + " stream header (captured at position " + std::to_string(position) + ")",
                     where + ".stream_header", checked))
            return false;
        out.ranges.push_back(std::move(checked));
    }
    out.rangeParts.push_back(name + "\tpositions " + std::to_string(first) + " to " + std::to_string(last));
    return true;
}

// An export by time (time_range), when the report is of one: its pieces in
// time order, each a record's part or seconds no record holds.
bool TimeRange(Reader& r, const Json& j, std::size_t readsAt, std::size_t readCount, ReportToCheck& out)
{
    const auto it = j.find("time_range");
    if (it == j.end())
        return true;
    const std::string where = "time_range";
    std::string from, to;
    const Json* parts = nullptr;
    if (!ListTime(r, *it, "from_time", where, from) || !ListTime(r, *it, "to_time", where, to) ||
        !(parts = r.Field(*it, "parts", where)))
        return false;
    if (!parts->is_array() || parts->empty() || parts->size() > kMaxRanges)
        return r.Fail("time_range.parts is not a list of parts");
    if (to < from)
        return r.Fail("time_range ends before it begins");
    out.timeRange = from + " to " + to;
    std::string previous;  // the last second of the part before
    std::size_t nextRead = 0;
    for (std::size_t i = 0; i < parts->size(); ++i) {
        const Json& part = (*parts)[i];
        const std::string at = where + ".parts[" + std::to_string(i) + "]";
        std::string kind, first, last;
        uint64_t seconds = 0;
        if (!r.Text(part, "part", at, kind) || !ListTime(r, part, "from_time", at, first) ||
            !ListTime(r, part, "to_time", at, last) || !r.Number(part, "seconds", at, kMaxRanges, seconds))
            return false;
        if (last < first || first < from || last > to || (!previous.empty() && first <= previous))
            return r.Fail(at + " does not lie within the range after the part before it");
        previous = last;
        const std::string times = first + " to " + last;
        if (kind == "gap") {
            out.rangeParts.push_back("gap\t" + times + " (" + std::to_string(seconds) +
                                     " s): no listed record holds these seconds; written without picture");
        } else if (kind == "record") {
            if (!RangeRecordPart(r, part, at, readsAt, readCount, nextRead, out))
                return false;
            out.rangeParts.back() += ", " + times;
        } else {
            return r.Fail(at + ".part is neither record nor gap");
        }
    }
    return true;
}

}  // namespace

// The whole check, field by field; error says what was refused.
static  // The activity event an export names: every field there and of its type, a
    // camera 1 to 4, a known mode, and a span holding the segment's marks.
    bool
    ActivityEvent(Reader& r, const Json& j, ReportToCheck& out)
{
    const auto it = j.find("activity_event");
    if (it == j.end())
        return true;
    const Json& e = *it;
    const std::string where = "activity_event";
    std::string record, beginTime, endTime, mode, parameters;
    uint64_t camera = 0, begin = 0, end = 0, peak = 0, beginMark = 0, endMark = 0;
    const Json* segment = nullptr;
    if (!r.Text(e, "record", where, record) || !r.Number(e, "camera", where, 4, camera) ||
        !r.Number(e, "begin_position", where, kMaxPosition, begin) ||
        !r.Number(e, "end_position", where, kMaxPosition, end) || !r.Text(e, "begin_time", where, beginTime) ||
        !r.Text(e, "end_time", where, endTime) || !r.Number(e, "peak", where, UINT32_MAX, peak) ||
        !r.Text(e, "mode", where, mode) || !r.Text(e, "parameters", where, parameters) ||
        !(segment = r.Field(j, "segment", "report")) ||
        !r.Number(*segment, "begin_mark", "segment", kMaxPosition, beginMark) ||
        !r.Number(*segment, "end_mark", "segment", kMaxPosition, endMark))
        return false;
    if (record.empty() || record.size() > 16)
        return r.Fail("activity_event.record is not a record's name");
    if (camera < 1)
        return r.Fail("activity_event.camera is not a camera 1 to 4");
    // The record the report exported: its number, or a recovered recording's id.
    std::string exported = out.recoveredId;
    if (const auto rec = j.find("record"); exported.empty() && rec != j.end() && rec->is_object()) {
        if (const auto number = rec->find("number"); number != rec->end() && number->is_number_unsigned())
            exported = std::to_string(number->get<uint64_t>());
    }
    if (!exported.empty() && record != exported)
        return r.Fail("activity_event.record (" + record + ") is not the record exported (" + exported + ")");
    if (mode != "fast" && mode != "exact")
        return r.Fail("activity_event.mode is neither fast nor exact");
    if (begin > end)
        return r.Fail("activity_event ends before it begins");
    if (beginMark < begin || endMark > end)
        return r.Fail("activity_event (positions " + std::to_string(begin) + " to " + std::to_string(end) +
                      ") does not hold the segment's marks (" + std::to_string(beginMark) + " to " +
                      std::to_string(endMark) + ")");
    out.activityEvent = "record " + record + ", camera " + std::to_string(camera) + ", positions " +
                        std::to_string(begin) + " to " + std::to_string(end) + ", " + mode;
    return true;
}

bool ParseInto(std::string_view text, ReportToCheck& out, std::string& error)
{
    out = {};
    if (text.size() > kMaxReportBytes) {
        error = "the report is larger than any report this program writes";
        return false;
    }
    // JSON lets a key come twice and the parser keeps the last: a report
    // with two values for one field is edited, whichever was meant.
    std::vector<std::set<std::string>> keys;
    std::string duplicate;
    const Json::parser_callback_t seeKey = [&](int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start)
            keys.emplace_back();
        else if (event == Json::parse_event_t::object_end && !keys.empty())
            keys.pop_back();
        else if (event == Json::parse_event_t::key && !keys.empty() && parsed.is_string() &&
                 !keys.back().insert(parsed.get<std::string>()).second && duplicate.empty())
            duplicate = parsed.get<std::string>();
        return true;
    };
    const Json j = Json::parse(text.begin(), text.end(), seeKey, false);
    if (j.is_discarded()) {
        error = "the report is not valid JSON (damaged or cut short)";
        return false;
    }
    if (!duplicate.empty()) {
        error = "damaged or edited report: the field \"" + duplicate + "\" is given twice in one object";
        return false;
    }
    Reader r;
    uint64_t format = 0;
    const Json* source = nullptr;
    const Json* reads = nullptr;
    const Json* output = nullptr;
    const Json* complete = nullptr;
    bool ok = r.Number(j, "report_format", "report", 1000, format) && (complete = r.Field(j, "complete", "report")) &&
              r.Text(j, "end", "report", out.end) && (source = r.Field(j, "source", "report")) &&
              (reads = r.Field(j, "reads", "report")) && (output = r.Field(j, "output", "report"));
    if (ok && format != 1 && format != 2)
        ok = r.Fail("report_format " + std::to_string(format) + " is not one this program reads");
    if (ok && !complete->is_boolean())
        ok = r.Fail("report.complete is not true or false");
    if (ok) {
        out.complete = complete->get<bool>();
        const Json* reason = r.Field(j, "reason", "report");
        ok = reason != nullptr;
        if (ok && reason->is_string())
            out.reason = reason->get<std::string>();
        else if (ok && !reason->is_null())
            ok = r.Fail("report.reason is neither text nor null");
    }
    if (ok) {
        std::string path;
        const Json* absolute = r.Field(*source, "absolute_path", "source");
        ok = absolute && r.Text(*source, "path", "source", path) &&
             r.Number(*source, "size_bytes", "source", UINT64_MAX, out.diskBytes);
        if (ok && absolute->is_string())
            out.diskPath = absolute->get<std::string>();
        else if (ok && absolute->is_null())
            out.diskPath = path;
        else if (ok)
            ok = r.Fail("source.absolute_path is neither text nor null");
    }
    if (ok)
        ok = Recovered(r, j, out);
    for (const char* name : {"sector0", "record_table", "record_index"}) {
        if (!ok)
            break;
        const Json* range = r.Field(*source, name, "source");
        ok = range != nullptr;
        // Carved seconds were found without any index: none was read.
        if (ok && range->is_null() && name == std::string("record_index") && out.recoveredSource == "carved")
            continue;
        // A structure that could not be read when the report was written has
        // no hash to check.
        const char* what = name == std::string("sector0")        ? "sector 0"
                           : name == std::string("record_table") ? "record table"
                                                                 : "record index";
        if (ok && range->is_object() && range->contains("sha256") && (*range)["sha256"].is_null()) {
            out.unhashed.push_back(what);
            continue;
        }
        CheckedRange checked;
        ok = ok && r.Range(*range, what, std::string("source.") + name, checked);
        if (ok)
            out.ranges.push_back(std::move(checked));
    }
    if (ok && !reads->is_array())
        ok = r.Fail("report.reads is not a list");
    if (ok && reads->size() > kMaxRanges)
        ok = r.Fail("report.reads has more entries than any record has segments");
    const std::size_t readsAt = out.ranges.size();
    for (std::size_t i = 0; ok && i < reads->size(); ++i) {
        const std::string where = "reads[" + std::to_string(i) + "]";
        uint64_t position = 0;
        CheckedRange checked;
        ok = r.Number((*reads)[i], "position", where, kMaxPosition, position) &&
             r.Range((*reads)[i], "read at position " + std::to_string(position), where, checked);
        if (ok)
            out.ranges.push_back(std::move(checked));
    }
    // Seconds the export could not read: each is named when checking.
    if (ok && j.contains("lost_seconds")) {
        const Json& lost = j["lost_seconds"];
        if (!lost.is_array() || lost.size() > kMaxRanges)
            ok = r.Fail("report.lost_seconds is not a list of seconds");
        for (std::size_t i = 0; ok && i < lost.size(); ++i) {
            const std::string where = "lost_seconds[" + std::to_string(i) + "]";
            uint64_t position = 0, record = 0;
            std::string reason;
            ok = r.Number(lost[i], "position", where, kMaxSector, position) && r.Text(lost[i], "error", where, reason);
            // An export by time names each second's record.
            if (ok && lost[i].is_object() && lost[i].contains("record"))
                ok = r.Number(lost[i], "record", where, kMaxPosition, record) &&
                     (record > 0 || r.Fail(where + ".record must be 1 or more"));
            if (ok)
                out.lostSeconds.push_back((record > 0 ? "record " + std::to_string(record) + ", " : std::string()) +
                                          "position " + std::to_string(position) + ": " + reason);
        }
    }
    // Reports of format 1 predate the opened disk's identity and the
    // stream header and sound reads: what they list is checked as before.
    out.format = static_cast<int>(format);
    if (format >= 2)
        ok = ok && OpenedDiskAndSideReads(r, j, *source, out);
    ok = ok && ActivityEvent(r, j, out);
    ok = ok && TimeRange(r, j, readsAt, ok ? reads->size() : 0, out);
    if (ok && !output->is_null()) {
        out.hasOutput = true;
        ok = r.Text(*output, "file", "output", out.outputFile) &&
             r.Number(*output, "size_bytes", "output", UINT64_MAX, out.outputBytes) &&
             r.Hash(*output, "sha256", "output", 64, out.outputSha256) &&
             r.Hash(*output, "md5", "output", 32, out.outputMd5);
        if (ok && (out.outputFile.empty() || out.outputFile == "." || out.outputFile == ".." ||
                   out.outputFile.find('/') != std::string::npos || out.outputFile.find('\0') != std::string::npos))
            ok = r.Fail("output.file must be a plain file name");
    }
    if (!ok) {
        error = "damaged or edited report: " + r.error;
        out = {};
    }
    return ok;
}

platform::Result<ReportToCheck> ParseReport(std::string_view text)
{
    ReportToCheck report;
    std::string error;
    if (!ParseInto(text, report, error))
        return platform::Error{platform::ErrorKind::Damaged, error};
    return report;
}

}  // namespace evidence

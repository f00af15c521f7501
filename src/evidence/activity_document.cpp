#include "evidence/activity_document.h"

#include <nlohmann/json.hpp>

#include "evidence/digest.h"

namespace evidence {
namespace {

using Json = nlohmann::json;
using platform::Error;
using platform::ErrorKind;

constexpr uint64_t kMaxNumber = 100000000;
constexpr size_t kMaxEvents = 10000000;

Error Refuse(const std::string& why) { return Error{ErrorKind::Damaged, "the activity document " + why}; }

const Json* Field(const Json& object, const char* name)
{
    const auto it = object.find(name);
    return it == object.end() ? nullptr : &*it;
}

bool Whole(const Json* v, uint64_t max, uint64_t& out)
{
    if (!v || !v->is_number_unsigned())
        return false;
    out = v->get<uint64_t>();
    return out <= max;
}

bool Signed(const Json* v, int64_t min, int64_t max, int64_t& out)
{
    if (!v || !v->is_number_integer())
        return false;
    out = v->get<int64_t>();
    return out >= min && out <= max;
}

bool Text(const Json* v, std::string& out)
{
    if (!v || !v->is_string())
        return false;
    out = v->get<std::string>();
    return true;
}

}  // namespace

platform::Result<ActivityDocument> ParseActivityDocument(std::string_view text)
{
    const Json doc = Json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
        return Refuse("is not a JSON object");
    ActivityDocument out;
    uint64_t version = 0;
    if (!Whole(Field(doc, "version"), 1000, version))
        return Refuse("has no version");
    if (version != ActivityDocument::kVersion)
        return Refuse("is of version " + std::to_string(version) + ", which this program does not search again");
    if (!Text(Field(doc, "mode"), out.mode) || (out.mode != "fast" && out.mode != "exact"))
        return Refuse("has no mode fast or exact");
    const Json* disk = Field(doc, "disk");
    if (!disk || !disk->is_object() || !Text(Field(*disk, "path"), out.diskPath))
        return Refuse("names no disk (disk.path)");
    const Json* p = Field(doc, "parameters");
    if (!p || !p->is_object())
        return Refuse("has no parameters");
    for (const char* name : ActivityDocument::kNumbers) {
        uint64_t value = 0;
        if (!Whole(Field(*p, name), kMaxNumber, value))
            return Refuse("has no whole number parameters." + std::string(name));
        out.numbers[name] = static_cast<uint32_t>(value);
    }
    if (!Signed(Field(*p, "from"), 0, UINT32_MAX, out.from) || !Signed(Field(*p, "to"), -1, UINT32_MAX, out.to))
        return Refuse("has no parameters.from and .to");
    const Json* cameras = Field(*p, "cameras");
    if (!cameras || !cameras->is_array() || cameras->empty() || cameras->size() > 4)
        return Refuse("has no parameters.cameras (1 to 4 of them)");
    for (const Json& c : *cameras) {
        uint64_t camera = 0;
        if (!Whole(&c, 4, camera) || camera == 0)
            return Refuse("names a camera that is not 1 to 4");
        out.cameras.push_back(static_cast<uint32_t>(camera));
    }
    const Json* regions = Field(*p, "regions");
    if (!regions || !regions->is_array() || regions->size() != 4)
        return Refuse("has no parameters.regions (one per camera)");
    for (size_t c = 0; c < 4; ++c) {
        const Json& r = (*regions)[c];
        if (r.is_null())
            continue;
        if (!r.is_array() || r.size() != 4)
            return Refuse("has a region that is not x, y, width, height");
        for (size_t k = 0; k < 4; ++k) {
            uint64_t v = 0;
            if (!Whole(&r[k], 4096, v))
                return Refuse("has a region outside 0 to 4096");
            out.regions[c][k] = static_cast<uint32_t>(v);
        }
    }
    const Json* records = Field(doc, "records");
    if (!records || !records->is_array() || records->size() > 65536)
        return Refuse("has no records");
    for (const Json& r : *records) {
        std::string name;
        if (!Text(&r, name) || name.empty() || name.size() > 16)
            return Refuse("names a record that is not a record's name");
        out.records.push_back(name);
    }
    const Json* events = Field(doc, "events");
    if (!events || !events->is_array() || events->size() > kMaxEvents)
        return Refuse("has no events");
    for (const Json& e : *events) {
        ActivityDocumentEvent event;
        uint64_t camera = 0, peak = 0;
        if (!e.is_object() || !Text(Field(e, "record"), event.record) || !Whole(Field(e, "camera"), 4, camera) ||
            camera == 0 || !Signed(Field(e, "begin_position"), 0, UINT32_MAX, event.begin) ||
            !Signed(Field(e, "end_position"), event.begin, UINT32_MAX, event.end) ||
            !Whole(Field(e, "peak"), kMaxNumber, peak))
            return Refuse("has an event without record, camera, begin_position, end_position and peak");
        event.camera = static_cast<uint32_t>(camera);
        event.peak = static_cast<uint32_t>(peak);
        out.events.push_back(std::move(event));
    }
    if (!Text(Field(doc, "events_sha256"), out.eventsSha256) || out.eventsSha256.size() != 64 ||
        out.eventsSha256.find_first_not_of("0123456789abcdef") != std::string::npos)
        return Refuse("has no events_sha256 of 64 hex digits");
    return out;
}

std::string ActivityEventLines(const std::vector<ActivityDocumentEvent>& events)
{
    std::string lines;
    for (const ActivityDocumentEvent& e : events)
        lines += e.record + "\t" + std::to_string(e.camera) + "\t" + std::to_string(e.begin) + "\t" +
                 std::to_string(e.end) + "\t" + std::to_string(e.peak) + "\n";
    return lines;
}

std::string ActivityEventsSha256(const std::vector<ActivityDocumentEvent>& events)
{
    const std::string lines = ActivityEventLines(events);
    Digest digest(DigestKind::Sha256);
    if (!digest.IsValid())
        return {};
    digest.Update(std::span(reinterpret_cast<const uint8_t*>(lines.data()), lines.size()));
    return digest.FinishHex();
}

}  // namespace evidence

#include "platform/drive_table.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Process-wide: the program sets it up on its main thread (the command line
// makes DriveTable values instead), but a drive may be opened from any
// thread. `lock` guards all of it.
struct TableState {
    std::mutex lock;
    std::vector<std::string> images;
    std::string sysBlock = "/sys/block";
    std::string devices = "/dev";
    std::optional<std::vector<DriveInfo>> snapshot;
};

TableState& State()
{
    static TableState state;
    return state;
}

std::string ReadSysText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n'))
        text.pop_back();
    return text;
}

// Whole disks only: partitions have no entry in /sys/block, and memory
// and compressed-swap devices are never recorder disks.
bool IsCandidateDevice(const std::string& name, const std::filesystem::path& dir)
{
    if (name.starts_with("ram") || name.starts_with("zram") || name.starts_with("loop"))
        return false;
    return ReadSysText(dir / "size") != "0";
}

}  // namespace

void SetDriveImages(std::vector<std::string> paths)
{
    TableState& state = State();
    std::lock_guard guard(state.lock);
    state.images = std::move(paths);
    state.snapshot.reset();
}

const std::vector<std::string>& DriveImages() { return State().images; }

void SetDeviceDirectories(std::string sysBlock, std::string devices)
{
    TableState& state = State();
    std::lock_guard guard(state.lock);
    state.sysBlock = std::move(sysBlock);
    state.devices = std::move(devices);
    state.snapshot.reset();
}

std::vector<DriveInfo> EnumerateDrives()
{
    std::vector<std::string> images;
    {
        TableState& state = State();
        std::lock_guard guard(state.lock);
        images = state.images;
    }
    return DriveTable::Take(images).Rows();
}

DriveTable DriveTable::Take(const std::vector<std::string>& images)
{
    TableState& state = State();
    std::vector<DriveInfo> drives;
    std::string sysBlock, devDir;
    for (const auto& image : images)
        drives.push_back({image, image, true});
    {
        std::lock_guard guard(state.lock);
        sysBlock = state.sysBlock;
        devDir = state.devices;
    }

    std::vector<DriveInfo> devices;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(sysBlock, ec)) {
        const std::string name = entry.path().filename().string();
        if (!IsCandidateDevice(name, entry.path()))
            continue;
        std::string vendor = ReadSysText(entry.path() / "device" / "vendor");
        std::string model = ReadSysText(entry.path() / "device" / "model");
        std::string description = vendor.empty() ? model : (model.empty() ? vendor : vendor + " " + model);
        if (description.empty())
            description = name;
        devices.push_back({devDir + "/" + name, description, false});
    }
    std::sort(devices.begin(), devices.end(), [](const DriveInfo& a, const DriveInfo& b) { return a.path < b.path; });
    drives.insert(drives.end(), devices.begin(), devices.end());
    return DriveTable(std::move(drives));
}

DriveTable DriveTable::Current() { return DriveTable(CurrentDrives()); }

std::string DriveTable::Path(int driveNumber) const
{
    if (driveNumber < 0 || driveNumber >= kMaxDrives || static_cast<size_t>(driveNumber) >= rows.size())
        return {};
    return rows[static_cast<size_t>(driveNumber)].path;
}

std::vector<DriveInfo> SnapshotDrives()
{
    std::vector<DriveInfo> drives = EnumerateDrives();
    TableState& state = State();
    std::lock_guard guard(state.lock);
    state.snapshot = drives;
    return drives;
}

std::vector<DriveInfo> CurrentDrives()
{
    {
        TableState& state = State();
        std::lock_guard guard(state.lock);
        if (state.snapshot)
            return *state.snapshot;
    }
    return EnumerateDrives();
}

std::string DrivePath(int driveNumber)
{
    if (driveNumber < 0 || driveNumber >= kMaxDrives)
        return {};
    return DriveTable::Current().Path(driveNumber);
}

DriveHandle::DriveHandle() = default;
DriveHandle::~DriveHandle() = default;
DriveHandle::DriveHandle(DriveHandle&& other) noexcept = default;
DriveHandle& DriveHandle::operator=(DriveHandle&& other) noexcept = default;

void DriveHandle::Close()
{
    source.reset();
    identity = {};
}

DriveHandle DriveHandle::OpenDrive(int driveNumber, std::string* whyNot)
{
    return OpenDrive(DriveTable::Current(), driveNumber, whyNot);
}

DriveHandle DriveHandle::OpenDrive(const DriveTable& table, int driveNumber, std::string* whyNot)
{
    const std::string path = table.Path(driveNumber);
    if (path.empty()) {
        if (whyNot)
            *whyNot = "no drive " + std::to_string(driveNumber);
        return {};
    }
    return OpenPath(path, whyNot);
}

DriveHandle DriveHandle::OpenPath(const std::string& path, std::string* whyNot)
{
    DriveHandle handle;
    std::string why;
    handle.source = OpenDiskSource(path, why);
    if (!handle.source) {
        if (whyNot)
            *whyNot = why;
        return handle;
    }
    std::string sysBlock;
    {
        TableState& state = State();
        std::lock_guard guard(state.lock);
        sysBlock = state.sysBlock;
    }
    handle.identity =
        IdentifyDrive(path, handle.source->FormatName(), handle.source->SizeBytes(), handle.source->Files(), sysBlock);
    return handle;
}

DriveHandle DriveHandle::FromSource(std::unique_ptr<DiskSource> source, const std::string& name)
{
    DriveHandle handle;
    if (!source)
        return handle;
    handle.source = std::move(source);
    handle.identity.path = name;
    handle.identity.format = handle.source->FormatName();
    handle.identity.sizeBytes = handle.source->SizeBytes();
    handle.identity.files = handle.source->Files();
    return handle;
}

bool DriveHandle::ReadAt(uint64_t offset, void* destination, uint64_t size) const
{
    return source && source->ReadAt(offset, destination, size);
}

bool DriveHandle::ReadChecked(uint64_t offset, void* destination, uint64_t size, std::string& why) const
{
    if (!source) {
        why = "no drive is open";
        return false;
    }
    return source->ReadChecked(offset, destination, size, why);
}

uint64_t DriveHandle::SizeBytes() const { return source ? source->SizeBytes() : 0; }

std::string DriveHandle::Format() const { return source ? source->FormatName() : std::string(); }

std::vector<std::string> DriveHandle::Files() const { return source ? source->Files() : std::vector<std::string>(); }

std::vector<ImageHash> DriveHandle::StoredImageHashes() const
{
    return source ? source->StoredHashes() : std::vector<ImageHash>();
}

bool DriveHandle::StoredImageHash(std::string& algorithm, std::string& hex) const
{
    const std::vector<ImageHash> hashes = StoredImageHashes();
    if (hashes.empty())
        return false;
    algorithm = hashes.front().algorithm;
    hex = hashes.front().hex;
    return true;
}

bool DriveHandle::QueryGeometry(DriveGeometry& out) const
{
    if (!source)
        return false;
    const int fd = source->DeviceDescriptor();
    const bool isDevice = fd >= 0;
    const uint64_t sizeBytes = source->SizeBytes();
    out = {};
    out.bytesPerSector = 512;
    out.mediaType = isDevice ? 12 /* fixed media */ : 0;
    if (isDevice) {
        hd_geometry geo{};
        if (::ioctl(fd, HDIO_GETGEO, &geo) == 0 && geo.heads != 0 && geo.sectors != 0) {
            out.tracksPerCylinder = geo.heads;
            out.sectorsPerTrack = geo.sectors;
            out.cylinders = static_cast<int64_t>(sizeBytes / 512 / (uint64_t(geo.heads) * geo.sectors));
            return true;
        }
    }
    // Images (and devices without a CHS answer) get the conventional
    // 255 heads x 63 sectors translation, cylinders rounded down.
    out.tracksPerCylinder = 255;
    out.sectorsPerTrack = 63;
    out.cylinders = static_cast<int64_t>(sizeBytes / 512 / (255 * 63));
    return true;
}

}  // namespace platform

#include "platform/drive_identity.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <utility>

namespace platform {
namespace {

// One attribute's first line, printable characters only, trimmed.
std::string SysText(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::string text;
    std::getline(in, text);
    std::string clean;
    for (const unsigned char c : text.substr(0, 256))
        clean.push_back(c >= ' ' && c < 0x7f ? static_cast<char>(c) : ' ');
    const auto first = clean.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return clean.substr(first, clean.find_last_not_of(' ') - first + 1);
}

std::string UtcText(int64_t seconds, int64_t nanoseconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    if (!gmtime_r(&t, &utc))
        return std::to_string(seconds) + " s";
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%09lldZ", static_cast<long long>(nanoseconds));
    return std::string(text) + fraction;
}

}  // namespace

DriveIdentity IdentifyDrive(const std::string& path, const std::string& format, uint64_t sizeBytes,
                            std::vector<std::string> files, const std::string& sysBlock)
{
    DriveIdentity id;
    id.path = path;
    id.format = format;
    id.sizeBytes = sizeBytes;
    id.files = std::move(files);
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    if (!ec)
        id.absolutePath = absolute.lexically_normal().string();
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return id;
    id.statKnown = true;
    id.isDevice = S_ISBLK(info.st_mode);
    if (id.isDevice) {
        id.major = ::major(info.st_rdev);
        id.minor = ::minor(info.st_rdev);
        // /dev/sdb -> /sys/block/sdb/device; a symbolic link in /dev is followed first.
        const auto real = std::filesystem::canonical(path, ec);
        const auto device =
            std::filesystem::path(sysBlock) / (ec ? std::filesystem::path(path) : real).filename() / "device";
        id.model = SysText(device / "model");
        id.serial = SysText(device / "serial");
        return id;
    }
    id.device = static_cast<uint64_t>(info.st_dev);
    id.inode = static_cast<uint64_t>(info.st_ino);
    id.fileBytes = static_cast<uint64_t>(info.st_size);
    id.modifiedSeconds = static_cast<int64_t>(info.st_mtim.tv_sec);
    id.modifiedNanoseconds = static_cast<int64_t>(info.st_mtim.tv_nsec);
    return id;
}

std::string IdentityText(const DriveIdentity& id)
{
    if (!id.statKnown)
        return "unknown (the path could not be examined when it was opened)";
    if (id.isDevice)
        return "block device " + std::to_string(id.major) + ":" + std::to_string(id.minor) + ", " +
               std::to_string(id.sizeBytes) + " bytes, model " + (id.model.empty() ? "unknown" : id.model) +
               ", serial " + (id.serial.empty() ? "unknown" : id.serial);
    return id.format + " image, device " + std::to_string(id.device) + " inode " + std::to_string(id.inode) + ", " +
           std::to_string(id.fileBytes) + " bytes, modified " + UtcText(id.modifiedSeconds, id.modifiedNanoseconds) +
           (id.files.size() > 1 ? ", " + std::to_string(id.files.size()) + " files" : "");
}

bool SameIdentity(const DriveIdentity& a, const DriveIdentity& b)
{
    if (!a.statKnown || !b.statKnown || a.isDevice != b.isDevice || a.sizeBytes != b.sizeBytes)
        return false;
    if (a.isDevice)
        return a.major == b.major && a.minor == b.minor && a.serial == b.serial;
    return a.device == b.device && a.inode == b.inode && a.fileBytes == b.fileBytes &&
           a.modifiedSeconds == b.modifiedSeconds && a.modifiedNanoseconds == b.modifiedNanoseconds;
}

}  // namespace platform

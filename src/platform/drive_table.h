#pragma once
// The machine's drives as the program numbers them: first the disk image
// files the program was given, then the whole-disk block devices of
// /sys/block in name order. Drive numbers 0 to 9 are usable.
//
// Everything here opens read-only: no call creates, truncates or writes a
// file or device.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/disk_source.h"
#include "platform/drive_identity.h"

namespace platform {

struct DriveInfo {
    std::string path;         // image file or /dev node
    std::string description;  // image path, or vendor + model of a device
    bool isImage = false;
};

// Geometry in the layout the disk dialog expects.
struct DriveGeometry {
    int64_t cylinders = 0;
    uint32_t mediaType = 0;
    uint32_t tracksPerCylinder = 0;
    uint32_t sectorsPerTrack = 0;
    uint32_t bytesPerSector = 0;
};

constexpr int kMaxDrives = 10;

// A drive table as a value: the rows drive numbers name, taken once and kept
// whatever is plugged in or out since. The command line makes one per
// command from its DISK argument; the program's own process-wide table
// (below) serves the window's disk dialog.
class DriveTable {
public:
    DriveTable() = default;
    explicit DriveTable(std::vector<DriveInfo> rows) : rows(std::move(rows)) {}

    // The images given (drives 0, 1, ...), then the whole-disk block devices
    // found now.
    static DriveTable Take(const std::vector<std::string>& images);
    // The process-wide table as drive numbers name it now (CurrentDrives).
    static DriveTable Current();

    const std::vector<DriveInfo>& Rows() const { return rows; }
    // The path of a drive number 0..9; empty when there is none.
    std::string Path(int driveNumber) const;

private:
    std::vector<DriveInfo> rows;
};

// Images named by the user come first in the numbering. Process-wide; set
// once at start-up, before any drive is opened. Drops the snapshot.
void SetDriveImages(std::vector<std::string> paths);
const std::vector<std::string>& DriveImages();

// Where whole-disk block devices are looked for: /sys/block and /dev unless
// a test points elsewhere. Drops the snapshot.
void SetDeviceDirectories(std::string sysBlock, std::string devices);

// The drive table as it is now: images, then block devices found now.
std::vector<DriveInfo> EnumerateDrives();

// Takes the table afresh and keeps it: from then on drive numbers name its
// rows, whatever is plugged in or out, until the next snapshot. The disk
// dialog takes one per run, so the row chosen loads the disk that was shown.
std::vector<DriveInfo> SnapshotDrives();

// The table drive numbers name: the last snapshot, or the table as it is
// now when none has been taken.
std::vector<DriveInfo> CurrentDrives();

// The path of a drive number in CurrentDrives(); empty when there is none.
std::string DrivePath(int driveNumber);

// An open drive: a disk image (plain, split or EWF) or a block device,
// read-only whatever its format. Move-only; closes itself.
class DriveHandle {
public:
    DriveHandle();
    ~DriveHandle();
    DriveHandle(DriveHandle&& other) noexcept;
    DriveHandle& operator=(DriveHandle&& other) noexcept;
    DriveHandle(const DriveHandle&) = delete;
    DriveHandle& operator=(const DriveHandle&) = delete;

    // Drive number 0..9 of CurrentDrives(); any other number fails.
    static DriveHandle OpenDrive(int driveNumber, std::string* whyNot = nullptr);
    // Drive number 0..9 of the table given.
    static DriveHandle OpenDrive(const DriveTable& table, int driveNumber, std::string* whyNot = nullptr);
    // A specific path: an image file (the first piece of a split set, any
    // segment of an EWF image) or a block device, read-only. whyNot, when
    // given, says why it failed in one line for the user.
    static DriveHandle OpenPath(const std::string& path, std::string* whyNot = nullptr);
    // A source the caller opened (a disk in memory): its identity is the
    // name given, its format, size and files, nothing looked up on the
    // system. Closed when source is null.
    static DriveHandle FromSource(std::unique_ptr<DiskSource> source, const std::string& name);

    bool IsOpen() const { return source != nullptr; }
    void Close();

    // Reads exactly size bytes at offset; false on any error or short read.
    // Safe from several threads at once.
    bool ReadAt(uint64_t offset, void* destination, uint64_t size) const;
    // The same, with why it failed.
    bool ReadChecked(uint64_t offset, void* destination, uint64_t size, std::string& why) const;
    // Bytes on the drive (file size, device size, or an EWF image's media size).
    uint64_t SizeBytes() const;
    bool QueryGeometry(DriveGeometry& out) const;

    // "raw", "split" or "ewf"; empty when closed.
    std::string Format() const;
    // The host files held open: the image, its pieces or segment files.
    std::vector<std::string> Files() const;
    // The digest the imager stored in an EWF image, strongest first:
    // algorithm is OpenSSL's name ("sha256", "sha1", "md5"), hex lower-case.
    // False when the image stores none (plain and split images never do).
    bool StoredImageHash(std::string& algorithm, std::string& hex) const;
    std::vector<ImageHash> StoredImageHashes() const;
    // The path as opened and what stood behind it when it was opened; empty
    // when closed. Kept for the drive's life, whatever the table does since.
    const DriveIdentity& Identity() const { return identity; }

private:
    std::unique_ptr<DiskSource> source;
    DriveIdentity identity;
};

}  // namespace platform

#pragma once
// The bytes of one disk, whatever holds them on this machine: a plain image
// file or block device, a raw image split into numbered pieces (X.001,
// X.002, ...), or an Expert Witness (EWF, .E01) image read through libewf.
//
// Every source opens its files O_RDONLY and never creates one. Sizes and
// offsets found in an image are untrusted: a set that does not add up is
// refused when opened, and a read past the disk's end fails like a short
// read.
//
// Reads may come from several threads at once (playback and export each
// read the same drive): ReadAt is safe to call concurrently; a source whose
// library keeps a read position guards it with a lock of its own.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// A digest the imager stored in the image when it was acquired, over the
// disk's bytes. algorithm is OpenSSL's digest name ("md5", "sha1",
// "sha256"), hex is lower-case.
struct ImageHash {
    std::string algorithm;
    std::string hex;
};

class DiskSource {
public:
    virtual ~DiskSource() = default;

    // Bytes of the disk the source stands for (for EWF: the media size).
    virtual uint64_t SizeBytes() const = 0;
    // Exactly size bytes at offset; false on any error, short read, damaged
    // data or a span past SizeBytes().
    virtual bool ReadAt(uint64_t offset, void* destination, uint64_t size) const = 0;
    // The same, saying why a read failed (an EWF image names the sectors
    // whose checksum fails).
    virtual bool ReadChecked(uint64_t offset, void* destination, uint64_t size, std::string& why) const
    {
        if (ReadAt(offset, destination, size))
            return true;
        why = "read error, short read or a span past the disk's end";
        return false;
    }
    // "raw", "split" or "ewf".
    virtual const char* FormatName() const = 0;
    // The descriptor of a block device, for its geometry; -1 otherwise.
    virtual int DeviceDescriptor() const { return -1; }
    // Digests stored in the image, strongest first; empty when it has none.
    virtual std::vector<ImageHash> StoredHashes() const { return {}; }
    // Every host file the source holds open (pieces, segment files).
    virtual std::vector<std::string> Files() const = 0;
};

// Opens path by what it is: an EWF image by its signature (a name like
// X.E01 without the signature is refused as damaged), a split set when path
// is its first numbered piece (X.001, or X.000 where numbering starts at
// 0), otherwise a plain file or block device. whyNot says why it failed,
// in words for the user.
std::unique_ptr<DiskSource> OpenDiskSource(const std::string& path, std::string& whyNot);

// The formats one by one.
std::unique_ptr<DiskSource> OpenFileSource(const std::string& path, std::string& whyNot);
std::unique_ptr<DiskSource> OpenSplitSource(const std::string& firstPiece, std::string& whyNot);
std::unique_ptr<DiskSource> OpenEwfSource(const std::string& path, std::string& whyNot);

// What a name says about a split set: the base ("X" of "X.001"), the
// suffix's number and its width in digits. False when the name does not end
// in a dot and three or more digits.
struct PieceName {
    std::string base;
    uint64_t number = 0;
    size_t width = 0;
};
bool ParsePieceName(const std::string& path, PieceName& out);

}  // namespace platform

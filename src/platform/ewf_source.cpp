// An Expert Witness image (EWF: .E01, .E02, ... from the usual imagers),
// read through libewf, opened for reading only.
#include <libewf.h>

#include <array>
#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/disk_source.h"

namespace platform {
namespace {

// libewf hands errors back as objects the caller frees.
class EwfError {
public:
    EwfError() = default;
    ~EwfError() { Clear(); }
    EwfError(const EwfError&) = delete;
    EwfError& operator=(const EwfError&) = delete;

    libewf_error_t** Out()
    {
        Clear();
        return &error;
    }
    // The innermost message libewf gives, for the user's one line.
    std::string Text() const
    {
        std::array<char, 512> text{};
        if (!error || libewf_error_sprint(error, text.data(), text.size()) <= 0)
            return {};
        std::string message(text.data());
        const size_t lastLine = message.find_last_of('\n', message.size() > 1 ? message.size() - 2 : 0);
        if (lastLine != std::string::npos)
            message.erase(0, lastLine + 1);
        while (!message.empty() && (message.back() == '\n' || message.back() == '.'))
            message.pop_back();
        return message;
    }

private:
    void Clear()
    {
        if (error)
            libewf_error_free(&error);
        error = nullptr;
    }
    libewf_error_t* error = nullptr;
};

struct HandleCloser {
    void operator()(libewf_handle_t* handle) const
    {
        libewf_handle_close(handle, nullptr);
        libewf_handle_free(&handle, nullptr);
    }
};
using HandlePtr = std::unique_ptr<libewf_handle_t, HandleCloser>;

class GlobList {
public:
    ~GlobList()
    {
        if (names)
            libewf_glob_free(names, count, nullptr);
    }
    char** names = nullptr;
    int count = 0;
};

std::string Hex(const uint8_t* bytes, size_t size)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < size; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 15];
    }
    return hex;
}

// A digest kept as text in the image: accepted only as hex of the right
// length, and not all zeros (what imagers leave when they computed none).
bool CleanHex(std::string text, size_t digits, std::string& out)
{
    if (text.size() != digits)
        return false;
    bool nonZero = false;
    for (char& c : text) {
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
        nonZero = nonZero || c != '0';
    }
    if (!nonZero)
        return false;
    out = std::move(text);
    return true;
}

class EwfSource final : public DiskSource {
public:
    EwfSource(HandlePtr handle, uint64_t sizeBytes, std::vector<std::string> files, uint32_t checksumErrors)
        : handle(std::move(handle)), sizeBytes(sizeBytes), files(std::move(files)), checksumErrors(checksumErrors)
    {
    }

    uint64_t SizeBytes() const override { return sizeBytes; }
    bool ReadAt(uint64_t offset, void* destination, uint64_t size) const override
    {
        if (size == 0 || offset > sizeBytes || size > sizeBytes - offset)
            return false;
        auto* out = static_cast<unsigned char*>(destination);
        std::lock_guard guard(lock);  // libewf keeps one read position per handle
        uint64_t done = 0;
        while (done < size) {
            EwfError error;
            const ssize_t n = libewf_handle_read_random(handle.get(), out + done, size - done,
                                                        static_cast<off64_t>(offset + done), error.Out());
            if (n <= 0)
                return false;
            done += static_cast<uint64_t>(n);
        }
        // A chunk whose checksum fails is handed out all the same: refuse it,
        // damaged data must never pass for the disk's.
        uint32_t errors = 0;
        EwfError error;
        if (libewf_handle_get_number_of_checksum_errors(handle.get(), &errors, error.Out()) != 1)
            return false;
        if (errors != checksumErrors) {
            checksumErrors = errors;
            return false;
        }
        // A chunk found damaged by an earlier read is refused again: libewf
        // counts it once but hands it out every time.
        return !TouchesDamagedChunk(offset, size, errors);
    }
    // Whether [offset, offset + size) overlaps a range libewf found failing
    // its checksum. Under `lock`.
    bool TouchesDamagedChunk(uint64_t offset, uint64_t size, uint32_t errors) const
    {
        uint32_t sectorBytes = 0;
        EwfError error;
        if (errors > 0 &&
            (libewf_handle_get_bytes_per_sector(handle.get(), &sectorBytes, error.Out()) != 1 || sectorBytes == 0))
            return true;
        for (uint32_t i = 0; i < errors; ++i) {
            uint64_t first = 0, count = 0;
            EwfError rangeError;
            if (libewf_handle_get_checksum_error(handle.get(), i, &first, &count, rangeError.Out()) != 1)
                return true;
            const uint64_t begin = first * sectorBytes;
            const uint64_t end = begin + count * sectorBytes;
            if (begin < offset + size && offset < end)
                return true;
        }
        return false;
    }
    const char* FormatName() const override { return "ewf"; }
    std::vector<std::string> Files() const override { return files; }
    std::vector<ImageHash> StoredHashes() const override
    {
        std::lock_guard guard(lock);
        std::vector<ImageHash> hashes;
        std::string hex;
        if (TextHash("SHA256", 64, hex))
            hashes.push_back({"sha256", hex});
        std::array<uint8_t, 20> sha1{};
        EwfError error;
        if (libewf_handle_get_sha1_hash(handle.get(), sha1.data(), sha1.size(), error.Out()) == 1 &&
            CleanHex(Hex(sha1.data(), sha1.size()), 40, hex))
            hashes.push_back({"sha1", hex});
        else if (TextHash("SHA1", 40, hex))
            hashes.push_back({"sha1", hex});
        std::array<uint8_t, 16> md5{};
        if (libewf_handle_get_md5_hash(handle.get(), md5.data(), md5.size(), error.Out()) == 1 &&
            CleanHex(Hex(md5.data(), md5.size()), 32, hex))
            hashes.push_back({"md5", hex});
        else if (TextHash("MD5", 32, hex))
            hashes.push_back({"md5", hex});
        return hashes;
    }

private:
    bool TextHash(const char* identifier, size_t digits, std::string& hex) const
    {
        std::array<uint8_t, 130> text{};
        EwfError error;
        if (libewf_handle_get_utf8_hash_value(handle.get(), reinterpret_cast<const uint8_t*>(identifier),
                                              std::char_traits<char>::length(identifier), text.data(), text.size(),
                                              error.Out()) != 1)
            return false;
        text.back() = 0;
        return CleanHex(reinterpret_cast<const char*>(text.data()), digits, hex);
    }

    // `lock` guards the handle and checksumErrors for every reader thread.
    mutable std::mutex lock;
    const HandlePtr handle;
    const uint64_t sizeBytes;
    const std::vector<std::string> files;
    mutable uint32_t checksumErrors;
};

}  // namespace

std::unique_ptr<DiskSource> OpenEwfSource(const std::string& path, std::string& whyNot)
{
    EwfError error;
    GlobList glob;
    if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &glob.names, &glob.count, error.Out()) != 1 ||
        glob.count <= 0) {
        whyNot = "cannot find the segment files of the EWF image: " + error.Text();
        return nullptr;
    }
    libewf_handle_t* raw = nullptr;
    if (libewf_handle_initialize(&raw, error.Out()) != 1) {
        whyNot = "libewf: " + error.Text();
        return nullptr;
    }
    HandlePtr handle(raw);
    if (libewf_handle_open(handle.get(), glob.names, glob.count, LIBEWF_OPEN_READ, error.Out()) != 1) {
        // The handle was never opened: free it without closing.
        raw = handle.release();
        libewf_handle_free(&raw, nullptr);
        whyNot = "damaged or incomplete EWF image (" + error.Text() + ")";
        return nullptr;
    }
    if (libewf_handle_segment_files_corrupted(handle.get(), error.Out()) != 0) {
        whyNot = "damaged or incomplete EWF image (its segment files are corrupted)";
        return nullptr;
    }
    size64_t mediaBytes = 0;
    if (libewf_handle_get_media_size(handle.get(), &mediaBytes, error.Out()) != 1 || mediaBytes == 0) {
        whyNot = "damaged EWF image (no media size)";
        return nullptr;
    }
    uint32_t checksumErrors = 0;
    if (libewf_handle_get_number_of_checksum_errors(handle.get(), &checksumErrors, error.Out()) != 1) {
        whyNot = "libewf: " + error.Text();
        return nullptr;
    }
    std::vector<std::string> files(glob.names, glob.names + glob.count);
    return std::make_unique<EwfSource>(std::move(handle), mediaBytes, std::move(files), checksumErrors);
}

}  // namespace platform

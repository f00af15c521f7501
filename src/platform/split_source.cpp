// A raw image cut into numbered pieces of one size (split -b, or an imager's
// segment size): X.001, X.002, ... read as one disk.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/disk_source.h"
#include "platform/read_fully.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

// Far beyond any real set (a 16 TB disk in 2 GB pieces is 8,000), and under
// what a process may hold open.
constexpr uint64_t kMaxPieces = 16384;

struct Piece {
    UniqueFd fd;
    std::string path;
};

class SplitSource final : public DiskSource {
public:
    SplitSource(std::vector<Piece> pieces, uint64_t pieceBytes, uint64_t sizeBytes)
        : pieces(std::move(pieces)), pieceBytes(pieceBytes), sizeBytes(sizeBytes)
    {
    }

    uint64_t SizeBytes() const override { return sizeBytes; }
    bool ReadAt(uint64_t offset, void* destination, uint64_t size) const override
    {
        if (size == 0 || offset > sizeBytes || size > sizeBytes - offset)
            return false;
        auto* out = static_cast<unsigned char*>(destination);
        while (size > 0) {
            const uint64_t index = offset / pieceBytes;
            const uint64_t within = offset % pieceBytes;
            const uint64_t take = std::min(size, pieceBytes - within);
            if (index >= pieces.size() || !ReadFully(pieces[index].fd.Get(), within, out, take))
                return false;
            out += take;
            offset += take;
            size -= take;
        }
        return true;
    }
    const char* FormatName() const override { return "split"; }
    std::vector<std::string> Files() const override
    {
        std::vector<std::string> files;
        for (const Piece& piece : pieces)
            files.push_back(piece.path);
        return files;
    }

private:
    const std::vector<Piece> pieces;
    const uint64_t pieceBytes;
    const uint64_t sizeBytes;
};

std::string PiecePath(const PieceName& name, uint64_t number)
{
    std::string digits = std::to_string(number);
    if (digits.size() < name.width)
        digits.insert(0, name.width - digits.size(), '0');
    return name.base + "." + digits;
}

// The highest number among the set's pieces in the directory, so that a gap
// after the run of pieces found is seen.
uint64_t HighestPieceNumber(const PieceName& first)
{
    const std::filesystem::path base(first.base);
    const std::filesystem::path dir = base.has_parent_path() ? base.parent_path() : ".";
    uint64_t highest = first.number;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        PieceName name;
        if (ParsePieceName((dir / entry.path().filename()).string(), name) && name.width == first.width &&
            std::filesystem::path(name.base).filename() == base.filename())
            highest = std::max(highest, name.number);
    }
    return highest;
}

}  // namespace

bool ParsePieceName(const std::string& path, PieceName& out)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot == 0 || path.size() - dot - 1 < 3 || path[dot - 1] == '/')
        return false;
    const char* begin = path.data() + dot + 1;
    const char* end = path.data() + path.size();
    uint64_t number = 0;
    const auto [ptr, err] = std::from_chars(begin, end, number);
    if (err != std::errc() || ptr != end || *begin == '+' || *begin == '-')
        return false;
    out.base = path.substr(0, dot);
    out.number = number;
    out.width = path.size() - dot - 1;
    return true;
}

std::unique_ptr<DiskSource> OpenSplitSource(const std::string& firstPiece, std::string& whyNot)
{
    PieceName name;
    if (!ParsePieceName(firstPiece, name) || name.number > 1) {
        whyNot = "not the first piece of a split image";
        return nullptr;
    }
    // Each descriptor is closed with its piece unless the source takes them.
    std::vector<Piece> opened;

    uint64_t pieceBytes = 0;
    uint64_t total = 0;
    bool lastSeen = false;
    for (uint64_t number = name.number; opened.size() < kMaxPieces; ++number) {
        const std::string path = PiecePath(name, number);
        if (std::to_string(number).size() > name.width)
            break;
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (!fd) {
            if (errno != ENOENT) {
                whyNot = "cannot open piece " + path + ": " + std::strerror(errno);
                return nullptr;
            }
            break;
        }
        struct stat st {};
        const int statResult = ::fstat(fd.Get(), &st);
        opened.push_back({std::move(fd), path});
        if (statResult != 0 || !S_ISREG(st.st_mode)) {
            whyNot = "piece " + path + " is not a regular file";
            return nullptr;
        }
        const auto bytes = static_cast<uint64_t>(st.st_size);
        if (lastSeen) {
            // Only the last piece may be short: a short one in the middle is
            // a copy that stopped early.
            whyNot = "piece " + opened[opened.size() - 2].path + " is shorter than the first";
            return nullptr;
        }
        if (bytes == 0) {
            whyNot = "piece " + path + " is empty";
            return nullptr;
        }
        if (pieceBytes == 0)
            pieceBytes = bytes;
        if (bytes > pieceBytes) {
            whyNot = "piece " + path + " is longer than the first";
            return nullptr;
        }
        lastSeen = bytes < pieceBytes;
        total += bytes;
        if (total < bytes) {
            whyNot = "the pieces add up to more than a disk can hold";
            return nullptr;
        }
    }
    if (opened.empty()) {
        whyNot = "cannot open " + firstPiece + ": " + std::strerror(ENOENT);
        return nullptr;
    }
    const uint64_t last = name.number + opened.size() - 1;
    if (HighestPieceNumber(name) > last) {
        whyNot = "piece " + PiecePath(name, last + 1) + " of the split image is missing";
        return nullptr;
    }
    return std::make_unique<SplitSource>(std::move(opened), pieceBytes, total);
}

}  // namespace platform

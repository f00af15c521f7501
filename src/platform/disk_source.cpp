// Which kind of image a path is, decided from its first bytes and its name.
#include "platform/disk_source.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

#include "platform/read_fully.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

// EWF-E01 (and the SMART variant's) segment file signature.
constexpr std::array<uint8_t, 8> kEvfSignature{'E', 'V', 'F', 0x09, 0x0d, 0x0a, 0xff, 0x00};
// Logical evidence files hold files, not a disk.
constexpr std::array<uint8_t, 8> kLvfSignature{'L', 'V', 'F', 0x09, 0x0d, 0x0a, 0xff, 0x00};
// EWF2 (Ex01), which this libewf does not read.
constexpr std::array<uint8_t, 8> kEvf2Signature{'E', 'V', 'F', '2', 0x0d, 0x0a, 0x81, 0x00};

enum class Leading { Other, Evf, Lvf, Evf2, Unreadable };

Leading LeadingBytes(const std::string& path)
{
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd)
        return Leading::Unreadable;
    std::array<uint8_t, 8> head{};
    if (!ReadFully(fd.Get(), 0, head.data(), head.size()))
        return Leading::Other;
    if (head == kEvfSignature)
        return Leading::Evf;
    if (head == kLvfSignature)
        return Leading::Lvf;
    if (head == kEvf2Signature)
        return Leading::Evf2;
    return Leading::Other;
}

// X.E01, X.e01, X.Ex01, X.s01: what imagers name EWF segment files.
bool HasEwfName(const std::string& path)
{
    const std::string ext = std::filesystem::path(path).extension().string();
    if (ext.size() == 4 && (ext[1] == 'E' || ext[1] == 'e' || ext[1] == 's' || ext[1] == 'S'))
        return std::isdigit(static_cast<unsigned char>(ext[2])) && std::isdigit(static_cast<unsigned char>(ext[3]));
    return ext == ".Ex01" || ext == ".ex01";
}

}  // namespace

std::unique_ptr<DiskSource> OpenDiskSource(const std::string& path, std::string& whyNot)
{
    std::error_code ec;
    const bool regular = std::filesystem::is_regular_file(path, ec);
    if (regular) {
        switch (LeadingBytes(path)) {
        case Leading::Evf: return OpenEwfSource(path, whyNot);
        case Leading::Lvf: whyNot = "a logical evidence file (L01) holds files, not a disk"; return nullptr;
        case Leading::Evf2:
            whyNot = "EWF2 (Ex01) images cannot be read: convert it to E01 or raw with ewfexport";
            return nullptr;
        case Leading::Other:
            if (HasEwfName(path)) {
                whyNot = "damaged EWF image (no EWF signature at its start)";
                return nullptr;
            }
            break;
        case Leading::Unreadable: break;  // the open below says why
        }
        PieceName piece;
        if (ParsePieceName(path, piece)) {
            const std::string zero = piece.base + "." + std::string(piece.width, '0');
            if (piece.number == 0 || (piece.number == 1 && !std::filesystem::exists(zero, ec)))
                return OpenSplitSource(path, whyNot);
            // A later piece alone may be what is left of a set: never a disk.
            const std::string one = piece.base + "." + std::string(piece.width - 1, '0') + "1";
            whyNot = "not the first piece of a split image: name " + (std::filesystem::exists(zero, ec) ? zero : one);
            return nullptr;
        }
    }
    return OpenFileSource(path, whyNot);
}

}  // namespace platform

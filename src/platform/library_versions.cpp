#include "platform/library_versions.h"

#include <link.h>
#include <openssl/crypto.h>
#include <sqlite3.h>

#include <cstring>
#include <filesystem>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/version.h>
}

namespace platform {
namespace {

std::string AvVersion(unsigned version)
{
    return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xff) + "." +
           std::to_string(version & 0xff);
}

// The libx264 loaded with libavcodec, by its file name: libx264.so.N, N
// being the library's build number (X264_BUILD).
std::string LoadedX264()
{
    std::string found;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            if (!info->dlpi_name || !std::strstr(info->dlpi_name, "libx264.so"))
                return 0;
            std::error_code ec;
            const std::filesystem::path file(info->dlpi_name);
            std::string name = file.filename().string();
            const std::filesystem::path real = std::filesystem::canonical(file, ec);
            if (!ec && real.filename() != file.filename())
                name += " (" + real.filename().string() + ")";
            *static_cast<std::string*>(data) = name;
            return 1;
        },
        &found);
    if (found.empty())
        return "not loaded";
    const size_t at = found.find("libx264.so.");
    const std::string tail = found.substr(at + std::strlen("libx264.so."));
    const size_t digits = tail.find_first_not_of("0123456789");
    const std::string build = tail.substr(0, digits);
    return build.empty() ? found : "build " + build + ", " + found;
}

}  // namespace

std::vector<LibraryVersion> LibraryVersions()
{
    return {{"libavcodec", AvVersion(avcodec_version()) + " (built against " LIBAVCODEC_IDENT ")"},
            {"libx264", LoadedX264()},
            {"OpenSSL", OpenSSL_version(OPENSSL_VERSION)},
            {"SQLite", sqlite3_libversion()}};
}

}  // namespace platform

#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/unique_fd.h"

namespace platform {

namespace {

std::string Why(int error) { return error == 0 ? std::string("write error") : std::strerror(error); }

}  // namespace

Result<void> WriteWholeFile(const std::string& path, const FileWriter& write)
{
    if (path.empty()) {
        return Error{ErrorKind::Refused, "no file name to write"};
    }
    // Through a symbolic link the file it names is replaced, not the link.
    std::string target = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            return Error{ErrorKind::Refused, "cannot write " + path + ": not a regular file"};
        }
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved))
            target = resolved;
    }
    const std::filesystem::path targetPath(target);
    const std::string extension = targetPath.extension().string();
    std::string temporary = (targetPath.parent_path() / (".quillon-XXXXXX" + extension)).string();
    if (!targetPath.has_parent_path())
        temporary = ".quillon-XXXXXX" + extension;
    UniqueFd fd(::mkstemps(temporary.data(), static_cast<int>(extension.size())));
    if (!fd) {
        return Error{ErrorKind::WriteFailed, "cannot write " + path + ": " + Why(errno)};
    }
    std::string error;
    errno = 0;
    bool ok = write && write(temporary);
    if (!ok)
        error = "cannot write " + path + ": " + Why(errno);
    // Written through another descriptor: the sync reports what the close
    // of that one could not (delayed allocation on a full disk).
    if (ok && ::fsync(fd.Get()) != 0) {
        error = "cannot write " + path + ": " + Why(errno);
        ok = false;
    }
    // mkstemps makes the file 0600; a picture is read by whoever reads the disk.
    if (ok)
        ::fchmod(fd.Get(), 0644);
    if (!fd.Close() && ok) {
        error = "cannot write " + path + ": " + Why(errno);
        ok = false;
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        error = "cannot name the file " + path + ": " + Why(errno);
        ok = false;
    }
    if (!ok)
        ::unlink(temporary.c_str());
    if (!ok)
        return Error{ErrorKind::WriteFailed, error};
    return {};
}

}  // namespace platform

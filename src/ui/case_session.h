#pragma once
// The case the program works in (quillon --case CASE): opened at start,
// checked against every disk loaded (a disk that is not the case's sets the
// case aside, said once), and added to by the program's bookmarks (B) and
// its exports. Without a case everything works as without one.
//
// Window thread only.
#include <optional>
#include <string>
#include <vector>

#include "casefile/case_file.h"
#include "disk/volume.h"
#include "platform/error.h"

namespace ui {

class CaseSession {
public:
    // Opens the case at path; why not, when it is no case (nothing is then
    // open).
    platform::Result<void> Open(const std::string& path);
    bool IsOpen() const { return file.has_value(); }
    // Whether additions go to the case: it is open and the loaded disk is
    // its disk.
    bool IsActive() const { return file.has_value() && diskMatches; }
    const std::string& Path() const { return path; }

    // The disk now loaded (null: none). Nothing when it is the case's disk
    // or no case is open; otherwise why the case is set aside for it.
    platform::Result<void> DiskLoaded(const disk::Volume* volume);

    platform::Result<int64_t> AddBookmark(casefile::Bookmark bookmark);
    platform::Result<int64_t> AddExport(const std::string& outputPath, const std::string& reportPath);
    platform::Result<std::vector<casefile::Bookmark>> Bookmarks();

private:
    std::optional<casefile::CaseFile> file;
    std::string path;
    bool diskMatches = false;
};

}  // namespace ui

#include "ui/case_session.h"

#include <filesystem>
#include <system_error>

#include "evidence/digest.h"

namespace ui {

using platform::Error;
using platform::ErrorKind;

platform::Result<void> CaseSession::Open(const std::string& casePath)
{
    file.reset();
    diskMatches = false;
    path = casePath;
    auto opened = casefile::CaseFile::Open(casePath);
    if (!opened)
        return opened.Failure();
    file.emplace(std::move(*opened));
    return {};
}

platform::Result<void> CaseSession::DiskLoaded(const disk::Volume* volume)
{
    diskMatches = false;
    if (!file || !volume)
        return {};
    if (auto same = file->CheckVolume(*volume, volume->DiskIdentity().path); !same)
        return same;
    diskMatches = true;
    return {};
}

platform::Result<int64_t> CaseSession::AddBookmark(casefile::Bookmark bookmark)
{
    if (!IsActive())
        return Error{ErrorKind::Refused, "no case is open for this disk"};
    return file->AddBookmark(std::move(bookmark));
}

platform::Result<int64_t> CaseSession::AddExport(const std::string& outputPath, const std::string& reportPath)
{
    if (!IsActive())
        return Error{ErrorKind::Refused, "no case is open for this disk"};
    const auto digest = evidence::HashFile(outputPath);
    if (!digest)
        return digest.Failure();
    casefile::ExportEntry entry;
    std::error_code ec;
    entry.path = std::filesystem::absolute(outputPath, ec).string();
    entry.reportPath = reportPath.empty() ? std::string() : std::filesystem::absolute(reportPath, ec).string();
    entry.outputSha256 = digest->sha256;
    return file->AddExport(entry);
}

platform::Result<std::vector<casefile::Bookmark>> CaseSession::Bookmarks()
{
    if (!file)
        return std::vector<casefile::Bookmark>{};
    auto contents = file->Read();
    if (!contents)
        return contents.Failure();
    return std::move(contents->bookmarks);
}

}  // namespace ui

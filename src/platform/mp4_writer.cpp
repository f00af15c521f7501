// mp4::Writer's checks on what callers pass and its sticky failure; the
// file's own work is mp4::File's.
#include "platform/mp4_writer.h"

#include "platform/mp4_file.h"

namespace platform::mp4 {

Writer::Writer() = default;

Writer::~Writer() { Close(); }

bool Writer::Fail(const std::string& message)
{
    std::lock_guard hold(lock);
    // The first failure is the cause; what fails after it follows from it.
    if (!failed.exchange(true))
        lastError = message;
    return false;
}

std::string Writer::LastError() const
{
    std::lock_guard hold(lock);
    return lastError;
}

bool Writer::Open(const std::string& path, int width, int height, const std::string& creationTime)
{
    if (file) {
        std::lock_guard hold(lock);
        lastError = "MP4 export: a file is already open";
        return false;
    }
    failed = false;
    {
        std::lock_guard hold(lock);
        lastError.clear();
    }
    picturesWritten = 0;
    if (path.empty())
        return Fail("MP4 export: no file name given");
    if (width < 16 || height < 16 || width > 4096 || height > 4096 || width % 2 != 0 || height % 2 != 0)
        return Fail("MP4 export: picture size " + std::to_string(width) + " x " + std::to_string(height) +
                    " not supported (even, 16 to 4096)");
    auto opening = std::make_unique<File>();
    if (!opening->Open(path, width, height, creationTime)) {
        opening->Abandon();
        return Fail(opening->Error());
    }
    file = std::move(opening);
    return true;
}

bool Writer::EncodePicture(const uint8_t* bgrBottomUp)
{
    if (!file || failed)
        return false;
    if (!bgrBottomUp)
        return Fail("MP4 export: no picture given");
    const bool ok = file->EncodePicture(bgrBottomUp);
    picturesWritten = file->PicturesWritten();
    return ok || Fail(file->Error());
}

bool Writer::EncodePlanes(const uint8_t* yuv)
{
    if (!file || failed)
        return false;
    if (!yuv)
        return Fail("MP4 export: no picture given");
    const bool ok = file->EncodePlanes(yuv);
    picturesWritten = file->PicturesWritten();
    return ok || Fail(file->Error());
}

bool Writer::EncodeSound(std::span<const uint8_t> pcm)
{
    if (!file || failed)
        return false;
    if (pcm.size() % 2 != 0)
        return Fail("MP4 export: " + std::to_string(pcm.size()) + " bytes of sound are not whole 16-bit samples");
    return file->PushSound(pcm) || Fail(file->Error());
}

bool Writer::Close()
{
    if (!file)
        return !failed;
    bool ok = !failed && file->Finish();
    ok = file->CloseFile() && ok;
    picturesWritten = file->PicturesWritten();
    const std::string message = file->Error();
    file.reset();
    return ok || Fail(message);
}

}  // namespace platform::mp4

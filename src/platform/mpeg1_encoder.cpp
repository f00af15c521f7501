// libquillon_mpeg1.so's entry points: the checks on what callers pass and
// the sticky failure; the file's own work is mpeg1::File's.
#include "platform/mpeg1_encoder.h"

#include <span>

#include "platform/mpeg1_file.h"

CMPEG1Encoder::CMPEG1Encoder() = default;

CMPEG1Encoder::~CMPEG1Encoder() { Close(); }

bool CMPEG1Encoder::Fail(const std::string& message)
{
    // The first failure is the cause; what follows from it adds nothing.
    if (!failed)
        lastError = message;
    failed = true;
    return false;
}

bool CMPEG1Encoder::Usable() const { return state && !failed; }

bool CMPEG1Encoder::Init(int width, int height, const char* path, int audioKiloHertz, int videoParameter)
{
    if (state) {
        lastError = "MPEG-1 export: a file is already open";
        return false;
    }
    failed = false;
    lastError.clear();
    framesWritten = 0;
    if (!path || !*path)
        return Fail("MPEG-1 export: no file name given");
    if (width < 16 || height < 16 || width > 4094 || height > 4094 || width % 2 != 0 || height % 2 != 0)
        return Fail("MPEG-1 export: picture size " + std::to_string(width) + " x " + std::to_string(height) +
                    " not supported (even, 16 to 4094)");
    const int audioRate = audioKiloHertz == 32   ? 32000
                          : audioKiloHertz == 44 ? 44100
                          : audioKiloHertz == 48 ? 48000
                                                 : 0;
    if (audioRate == 0)
        return Fail("MPEG-1 export: sound rate " + std::to_string(audioKiloHertz) +
                    " kHz not supported (32, 44 or 48)");
    if (videoParameter < 10 || videoParameter > 3000)
        return Fail("MPEG-1 export: video cap of " + std::to_string(videoParameter) +
                    " kbit per picture out of range (10 to 3000)");

    auto opening = std::make_unique<platform::mpeg1::File>();
    if (!opening->Open(path, width, height, audioRate,
                       int64_t{videoParameter} * 1000 * platform::mpeg1::kPicturesPerSecond)) {
        opening->Abandon();
        return Fail(opening->Error());
    }
    state = std::move(opening);
    return true;
}

bool CMPEG1Encoder::EncodeVideoFrame(const char* frame)
{
    if (!Usable())
        return false;
    if (!frame)
        return Fail("MPEG-1 export: no picture given");
    const bool ok = state->EncodePicture(reinterpret_cast<const uint8_t*>(frame));
    framesWritten = state->PicturesWritten();
    return ok || Fail(state->Error());
}

bool CMPEG1Encoder::EncodeVideoPlanes(const unsigned char* planes)
{
    if (!Usable())
        return false;
    if (!planes)
        return Fail("MPEG-1 export: no picture given");
    const bool ok = state->EncodePlanes(planes);
    framesWritten = state->PicturesWritten();
    return ok || Fail(state->Error());
}

bool CMPEG1Encoder::EncodeAudioData(const char* pcm, int byteCount)
{
    if (!Usable())
        return false;
    if (byteCount < 0 || byteCount % 2 != 0 || (!pcm && byteCount > 0))
        return Fail("MPEG-1 export: " + std::to_string(byteCount) + " bytes of sound are not whole 16-bit samples");
    if (byteCount == 0)
        return true;
    const std::span bytes(reinterpret_cast<const uint8_t*>(pcm), static_cast<size_t>(byteCount));
    return state->PushSound(bytes) || Fail(state->Error());
}

bool CMPEG1Encoder::Close()
{
    if (!state)
        return !failed;
    // After a failure nothing more is encoded or muxed; the file is only
    // closed (after a failed write, libav tries no further write).
    bool ok = !failed && state->Finish();
    ok = state->CloseFile() && ok;
    // Without a picture the muxer writes nothing at all: an empty file.
    if (ok && state->PicturesWritten() == 0)
        state->RemoveFile();
    framesWritten = state->PicturesWritten();
    const std::string message = state->Error();
    state.reset();
    return ok || Fail(message);
}

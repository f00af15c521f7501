#pragma once
// libquillon_mpeg1.so: the export's pictures and sound into an MPEG-1 system
// stream (mpeg1video + MP2 in an MPEG program stream, ".mpg"). FFmpeg stays
// behind this header; callers link the library directly.
//
// Calls come from one thread at a time (the exporter's), never concurrently,
// so nothing inside locks.
//
// Picture quality: the encoder keeps the finest quantiser (2) wherever the
// bit-rate cap allows, and coarsens only where the content would exceed it
// (quality-first VBR with a cap; no constant bit rate). The cap also bounds the
// decoder buffer so that players and the multiplexer never run dry, even on
// pictures of pure noise.
#include <cstdint>
#include <memory>
#include <string>

namespace platform::mpeg1 {
class File;
}

#define QUILLON_MPEG1_EXPORT __attribute__((visibility("default")))

class QUILLON_MPEG1_EXPORT CMPEG1Encoder {
public:
    CMPEG1Encoder();
    ~CMPEG1Encoder();  // closes an open file as Close() would
    CMPEG1Encoder(const CMPEG1Encoder&) = delete;
    CMPEG1Encoder& operator=(const CMPEG1Encoder&) = delete;

    // Starts a file at path (created or truncated) for width x height pictures
    // at 30 per second; width and height even, 16 to 4094.
    // audioKiloHertz: the sound's rate in the file: 32 (32,000 Hz), 44
    //   (44,100 Hz) or 48 (48,000 Hz); MP2, mono, 96 kbit/s.
    // videoParameter: the video bit-rate cap in kbit per picture, 10 to 3000:
    //   300 caps the video at 9,000 kbit/s. At 640 x 480, 300 holds even
    //   pictures of pure noise (about 250 kbit each at the coarsest
    //   quantiser); ordinary scenes stay at the finest quantiser well below it.
    // False when anything cannot be set up: then no file is left behind.
    // False also when a file is already open (that file is not touched).
    bool Init(int width, int height, const char* path, int audioKiloHertz, int videoParameter);
    // One picture: width x height pixels of 3 bytes blue, green, red; the
    // bottom row first, rows of 3 x width bytes without padding.
    bool EncodeVideoFrame(const char* frame);
    // The same picture in YUV 4:2:0, BT.601 studio range: the luma plane,
    // then blue and red chroma at half the width and height, rows without
    // padding, one after the other.
    bool EncodeVideoPlanes(const unsigned char* planes);
    // Signed 16-bit little-endian mono samples at 11,200 per second; byteCount
    // bytes, an even count (0 is fine).
    bool EncodeAudioData(const char* pcm, int byteCount);
    // Writes what the encoders and the resampler still hold, pads the last
    // sound frame with silence, writes the end of the stream and closes the
    // file. A file that got no picture is removed (players would refuse it)
    // and Close is still true. False when anything failed since Init: the file
    // is then incomplete and left where it is. Without an open file: true
    // unless the last Init failed.
    bool Close();

    // A setup, encode or write failure since Init; sticky: every later call
    // returns false and does no more work until the next Init.
    bool Failed() const { return failed; }
    // One line for the user, e.g. "cannot write /x/y.mpg: No space left on device".
    const std::string& LastError() const { return lastError; }
    // Pictures handed to the file since Init; after Close, every picture given.
    int64_t VideoFramesWritten() const { return framesWritten; }

private:
    bool Fail(const std::string& message);
    bool Usable() const;

    std::unique_ptr<platform::mpeg1::File> state;  // set while a file is open
    std::string lastError;
    int64_t framesWritten = 0;
    bool failed = false;
};

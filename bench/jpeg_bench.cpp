// JPEG encode and decode speed on a 640 x 480 natural picture at quality 70,
// 4:2:0, beside libjpeg-turbo's tjbench (with its SIMD code and without) when
// tjbench is installed. Figures are megapixels per second, best of several runs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "jpeg_test_support.h"
#include "picture/jpeg/encode_to_memory.h"
#include "picture/jpeg/jpeg_codec.h"
#include "support/temp_dir.h"

namespace {

constexpr int kWidth = 640, kHeight = 480, kQuality = 70;

// CPU time of this thread: other work on a shared machine disturbs it less
// than wall time.
double ThreadSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename F>
double BestMpixPerSecond(F run)
{
    double best = 0;
    for (int round = 0; round < 7; ++round) {
        const int count = 40;
        const double start = ThreadSeconds();
        for (int i = 0; i < count; ++i)
            run();
        const double s = ThreadSeconds() - start;
        best = std::max(best, count * kWidth * kHeight / s / 1e6);
    }
    return best;
}

// tjbench's quiet table row: ... comp-perf ratio decomp-perf.
void RunTjbench(const std::string& ppm, const char* environment, const char* label)
{
    const std::string command = std::string(environment) + " tjbench " + ppm + " " + std::to_string(kQuality) +
                                " -subsamp 420 -quiet -benchtime 2 -warmup 1 2>/dev/null";
    std::FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return;
    char line[512];
    std::string last;
    while (std::fgets(line, sizeof line, p))
        if (std::string(line).find("4:2:0") != std::string::npos)
            last = line;
    ::pclose(p);
    std::vector<double> numbers;
    for (std::size_t at = 0; at < last.size();) {
        char* end = nullptr;
        const double v = std::strtod(last.c_str() + at, &end);
        if (end == last.c_str() + at) {
            ++at;
            continue;
        }
        numbers.push_back(v);
        at = static_cast<std::size_t>(end - last.c_str());
    }
    if (numbers.size() < 3) {
        std::printf("%-34s (no result)\n", label);
        return;
    }
    const double comp = numbers[numbers.size() - 3], decomp = numbers.back();
    std::printf("%-34s encode %7.1f   decode %7.1f\n", label, comp, decomp);
}

}  // namespace

int main()
{
    const auto picture = picture_support::NaturalPicture(kWidth, kHeight);
    const auto bottomUp = jpeg_test::ToDib(picture, true);
    const auto topDown = jpeg_test::ToDib(picture, false);

    std::vector<std::uint8_t> out(kWidth * kHeight * 3);
    std::size_t snapshotSize = 0;
    const double encodeOptimal = BestMpixPerSecond(
        [&] { snapshotSize = picture::jpeg::EncodeJpegToMemory(out, bottomUp.data(), kWidth, kHeight, kQuality); });
    std::vector<std::uint8_t> standard;
    jpeg_test::Encode(picture, standard, kQuality, picture::jpeg::Subsampling::S420, false, false, false);
    std::vector<std::uint8_t> scratch(out.size());
    const double encodeStandardCodec = BestMpixPerSecond([&] {
        picture::jpeg::JpegProperties p;
        picture::jpeg::Init(p);
        p.dibBytes = const_cast<std::uint8_t*>(topDown.data());
        p.dibSize = topDown.size();
        p.dibWidth = p.jpegWidth = kWidth;
        p.dibHeight = p.jpegHeight = kHeight;
        p.jpegChannels = 3;
        p.jpegColour = picture::jpeg::Colour::YCbCr;
        p.quality = kQuality;
        p.jpegBytes = scratch.data();
        p.jpegSize = scratch.size();
        picture::jpeg::WriteImageToBuffer(p);
    });

    std::vector<std::uint8_t> dib(topDown.size());
    const double decode = BestMpixPerSecond([&] {
        picture::jpeg::JpegProperties p;
        picture::jpeg::Init(p);
        p.jpegBytes = standard.data();
        p.jpegSize = standard.size();
        p.dibBytes = dib.data();
        p.dibSize = dib.size();
        p.dibWidth = kWidth;
        p.dibHeight = kHeight;
        if (picture::jpeg::ReadImageFromMemory(p) != picture::jpeg::Success)
            std::abort();
    });

    jpeg_test::RgbPicture back;
    jpeg_test::Decode(std::vector<std::uint8_t>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(snapshotSize)),
                      back);
    std::printf("640 x 480, quality 70, 4:2:0; Mpixels/s, best of 7 x 40 runs (thread CPU time)\n");
    std::printf("%-34s encode %7.1f   decode %7.1f\n", "ours (standard tables)", encodeStandardCodec, decode);
    std::printf("%-34s encode %7.1f   (%zu bytes, %.2f dB)\n", "ours, snapshot path (optimal tables)", encodeOptimal,
                snapshotSize, picture_support::Psnr(picture, back));

    if (std::system("command -v tjbench >/dev/null 2>&1") == 0) {
        testing_support::TempDir dir;
        const std::string ppm = dir.File("bench.ppm");
        picture_support::WritePpm(ppm, picture);
        RunTjbench(ppm, "", "libjpeg-turbo tjbench (SIMD)");
        RunTjbench(ppm, "JSIMD_FORCENONE=1", "libjpeg-turbo tjbench (no SIMD)");
    }
    return 0;
}

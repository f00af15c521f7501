// Hashing speed beside the usual tools: quillon-cli hash of a large image in
// the page cache, SHA-256 alone against openssl dgst -sha256 and SHA-256 with
// MD5 against md5sum, on the same file in the same run. Runs alternate so
// that all meet the same load; best and median wall time of each, and each
// tool's hash compared with ours.
//
//   quillon-bench-hash [--mib 1024] [--runs 3]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

struct Timed {
    double seconds = 0;
    std::string out;
    bool ok = false;
};

Timed RunCommand(const std::string& command)
{
    Timed t;
    const auto start = std::chrono::steady_clock::now();
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return t;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        t.out.append(buffer, n);
    t.ok = ::pclose(pipe) == 0;
    t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return t;
}

// The hex digest in a tool's line: the first run of 32 or more hex digits.
std::string DigestIn(const std::string& text, std::size_t from = 0)
{
    static const char kHex[] = "0123456789abcdef";
    for (std::size_t i = from; i < text.size(); ++i) {
        std::size_t j = i;
        while (j < text.size() && std::strchr(kHex, text[j]) && text[j] != '\0')
            ++j;
        if (j - i >= 32)
            return text.substr(i, j - i);
        i = j;
    }
    return {};
}

bool WriteImage(const std::string& path, uint64_t mib)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::vector<uint64_t> block(1 << 17);  // 1 MiB
    uint64_t x = 0x9E3779B97F4A7C15ull;
    bool ok = true;
    for (uint64_t m = 0; ok && m < mib; ++m) {
        for (auto& v : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            v = x;
        }
        ok = std::fwrite(block.data(), sizeof(uint64_t), block.size(), f) == block.size();
    }
    return std::fclose(f) == 0 && ok;
}

struct Series {
    const char* name;
    std::string command;
    std::vector<double> times;
    std::string digest;
    double Best() const { return *std::min_element(times.begin(), times.end()); }
    double Median() const
    {
        std::vector<double> t = times;
        std::sort(t.begin(), t.end());
        return t[t.size() / 2];
    }
};

}  // namespace

int main(int argc, char** argv)
{
    uint64_t mib = 1024;
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mib") == 0)
            mib = std::strtoull(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
    }
    testing_support::TempDir dir;
    const std::string image = dir.File("image.img");
    if (mib == 0 || !WriteImage(image, mib)) {
        std::fprintf(stderr, "cannot write %llu MiB to %s\n", static_cast<unsigned long long>(mib), image.c_str());
        return 1;
    }
    const std::string cli = std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/quillon-cli";
    RunCommand("cat '" + image + "' > /dev/null");  // into the page cache

    std::vector<Series> series = {
        {"quillon-cli hash (SHA-256)", "'" + cli + "' hash '" + image + "'", {}, {}},
        {"openssl dgst -sha256", "openssl dgst -sha256 '" + image + "'", {}, {}},
        {"quillon-cli hash --md5 (SHA-256 + MD5)", "'" + cli + "' hash '" + image + "' --md5", {}, {}},
        {"md5sum", "md5sum '" + image + "'", {}, {}},
    };
    std::string ourMd5;
    for (int run = 0; run < runs; ++run)
        for (Series& s : series) {
            const Timed t = RunCommand(s.command + " 2>/dev/null");
            if (!t.ok) {
                std::fprintf(stderr, "failed: %s\n", s.command.c_str());
                return 1;
            }
            s.times.push_back(t.seconds);
            s.digest = DigestIn(t.out);
            if (&s == &series[2])
                ourMd5 = DigestIn(t.out, t.out.find("\nmd5"));
        }
    const double mb = double(mib) * 1048576.0 / 1e6;
    std::printf("%llu MiB in the page cache, %d runs each (best / median wall time, MB/s at the best)\n",
                static_cast<unsigned long long>(mib), runs);
    for (const Series& s : series)
        std::printf("  %-40s %7.3f s / %7.3f s  %8.0f MB/s\n", s.name, s.Best(), s.Median(), mb / s.Best());
    std::printf("SHA-256 alone:  %.0f %% of openssl dgst -sha256's rate\n",
                100.0 * series[1].Best() / series[0].Best());
    std::printf("SHA-256 + MD5:  %.0f %% of md5sum's rate\n", 100.0 * series[3].Best() / series[2].Best());
    const bool same =
        series[0].digest == series[1].digest && series[2].digest == series[1].digest && ourMd5 == series[3].digest;
    std::printf("hashes %s\n", same ? "agree" : "DISAGREE");
    return same ? 0 : 1;
}

// Hashing speed beside the usual tools: quillon-cli hash of a large image in
// the page cache, SHA-256 alone against openssl dgst -sha256 and SHA-256 with
// MD5 against md5sum, on the same file in the same run. Runs alternate so
// that all meet the same load; best and median wall time of each, the runs'
// spread, a lead claimed only when the difference is larger than the spread,
// and each tool's hash compared with ours. SHA-256 and MD5 are hashed on
// two threads, so the pair can go no faster than SHA-256 alone: on a CPU
// without SHA instructions SHA-256 is slower than MD5 and the pair cannot
// keep up with md5sum; the benchmark says which CPU it ran on.
//
//   quillon-bench-hash [--mib 1024] [--runs 3]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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
    double Spread() const { return *std::max_element(times.begin(), times.end()) - Best(); }
    double Median() const
    {
        std::vector<double> t = times;
        std::sort(t.begin(), t.end());
        return t[t.size() / 2];
    }
};

// "lead" when ours is ahead of theirs by more than either side's spread,
// "behind" likewise, otherwise the runs cannot tell them apart.
const char* Verdict(const Series& ours, const Series& theirs)
{
    if (ours.times.size() < 2)
        return "one run";
    const double spread = std::max(ours.Spread(), theirs.Spread());
    const double lead = theirs.Best() - ours.Best();
    return lead > spread ? "lead" : -lead > spread ? "behind" : "no lead beyond the spread";
}

// Whether the CPU has the SHA extensions OpenSSL uses (x86 sha_ni, Arm sha2).
const char* ShaInstructions()
{
    std::ifstream cpu("/proc/cpuinfo");
    for (std::string line; std::getline(cpu, line);)
        if (line.rfind("flags", 0) == 0 || line.rfind("Features", 0) == 0)
            return line.find(" sha_ni") != std::string::npos || line.find(" sha2") != std::string::npos ? "yes" : "no";
    return "unknown";
}

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
    double load[1] = {-1};
    getloadavg(load, 1);

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
    double endLoad[1] = {-1};
    getloadavg(endLoad, 1);
    std::printf("%llu MiB in the page cache, %d runs each, alternating; load average %.2f at start, %.2f at the end; "
                "SHA instructions: %s\n",
                static_cast<unsigned long long>(mib), runs, load[0], endLoad[0], ShaInstructions());
    std::printf("  %-40s %9s   %9s   %9s  %8s\n", "", "best", "median", "spread", "MB/s");
    for (const Series& s : series)
        std::printf("  %-40s %7.3f s / %7.3f s / %7.3f s  %8.0f\n", s.name, s.Best(), s.Median(), s.Spread(),
                    mb / s.Best());
    std::printf("SHA-256 alone:  %.0f %% of openssl dgst -sha256's rate (goal 100 %%): %s\n",
                100.0 * series[1].Best() / series[0].Best(), Verdict(series[0], series[1]));
    std::printf("SHA-256 + MD5:  %.0f %% of md5sum's rate (goal 95 %%): %s\n",
                100.0 * series[3].Best() / series[2].Best(), Verdict(series[2], series[3]));
    std::printf("SHA-256 alone against md5sum: %.0f %% (the most the pair can reach here)\n",
                100.0 * series[3].Best() / series[0].Best());
    const bool same =
        series[0].digest == series[1].digest && series[2].digest == series[1].digest && ourMd5 == series[3].digest;
    std::printf("hashes %s\n", same ? "agree" : "DISAGREE");
    return same ? 0 : 1;
}

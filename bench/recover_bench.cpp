// quillon-cli recover on a multi-gigabyte image held in the page cache,
// against reading the image once with cat in the same run. The image: the
// seconds of a written 720x288 record with sound, repeated into eight
// records; the last two have their entries and index wiped, so a quarter of
// the data is carved. Usage: recover_bench [MiB] [IMAGE] (default 1536,
// /tmp/recover-bench.img); the image is removed at the end.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/mkdisk/disk_writer.h"

namespace {

constexpr uint32_t kRecords = 8, kWiped = 2;

double Run(const std::string& command)
{
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "recover_bench: failed: %s\n", command.c_str());
        return -1;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PutBe32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (24 - 8 * i));
}

}  // namespace

int main(int argc, char** argv)
{
    const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1536;
    const std::string image =
        argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "recover-bench.img").string();
    const std::string small = image + ".small";

    mkdisk::DiskPlan plan;
    mkdisk::RecordPlan record;
    record.seconds = 10;
    record.format = mkdisk::PictureFormat::k720x288;
    record.audioCameras = 0x0F;
    plan.records = {record};
    mkdisk::Manifest manifest;
    if (const auto written = mkdisk::WriteDisk(plan, small, &manifest); !written) {
        std::fprintf(stderr, "recover_bench: %s\n", written.Detail().c_str());
        return 1;
    }
    std::vector<std::vector<uint8_t>> seconds;
    {
        std::ifstream in(small, std::ios::binary);
        for (const mkdisk::ManifestSegment& s : manifest.records[0].segments) {
            std::vector<uint8_t> bytes(size_t(s.sectors) * 512);
            in.seekg(std::streamoff(s.firstSector) * 512);
            in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
            seconds.push_back(std::move(bytes));
        }
    }
    std::filesystem::remove(small);
    uint64_t average = 0;
    for (const auto& s : seconds)
        average += s.size() / 512;
    average /= seconds.size();
    const uint32_t perRecord = uint32_t(mib * 2048 / average / kRecords);

    // Header, one table sector, the index, then the data.
    const uint64_t entries = uint64_t(kRecords) * (perRecord + 1);
    const uint32_t indexSectors = uint32_t((entries * 4 + 511) / 512);
    const uint32_t dataStart = 2 + indexSectors;
    std::vector<uint8_t> head(size_t(dataStart) * 512, 0);
    std::copy_n("Kor Halvex", 10, head.begin() + 2);
    PutBe32(head, 12, 1);
    PutBe32(head, 16, 2);
    head[25] = kRecords - kWiped;
    head[39] = 1;
    uint64_t sector = dataStart;
    for (uint32_t r = 0; r < kRecords; ++r) {
        mkdisk::RecordHeader h = manifest.records[0].header;
        h.begin = mkdisk::AddSeconds(h.begin, int64_t(r) * (perRecord + 60));
        const uint32_t offset = r * (perRecord + 1);
        if (r < kRecords - kWiped) {
            const auto entry = mkdisk::EncodeRecordEntry(h, perRecord, offset);
            std::copy(entry.begin(), entry.end(), head.begin() + 512 + r * 32);
        }
        for (uint32_t j = 0; j <= perRecord; ++j) {
            if (r < kRecords - kWiped)
                PutBe32(head, 1024 + size_t(offset + j) * 4, uint32_t(sector));
            if (j < perRecord)
                sector += seconds[j % seconds.size()].size() / 512;
        }
    }
    {
        std::ofstream out(image, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
        for (uint32_t r = 0; r < kRecords; ++r)
            for (uint32_t j = 0; j < perRecord; ++j) {
                const auto& s = seconds[j % seconds.size()];
                out.write(reinterpret_cast<const char*>(s.data()), std::streamsize(s.size()));
            }
        if (!out) {
            std::fprintf(stderr, "recover_bench: cannot write %s\n", image.c_str());
            return 1;
        }
    }
    const double gib = double(std::filesystem::file_size(image)) / (1u << 30);
    std::printf("image: %.2f GiB, %u records of %u seconds, %u of them wiped\n", gib, kRecords, perRecord, kWiped);

    Run("cat '" + image + "' > /dev/null");  // into the page cache
    const double cat = Run("cat '" + image + "' > /dev/null");
    const double recover = Run(std::string(QUILLON_CLI) + " recover '" + image + "' > '" + image + ".txt'");
    // What any command costs before it reads: the program's start and the volume's load.
    const double start = Run(std::string(QUILLON_CLI) + " records '" + image + "' > /dev/null");
    std::string summary;
    {
        std::ifstream in(image + ".txt");
        for (std::string line; std::getline(in, line);)
            if (line.rfind("c", 0) == 0 || line.rfind("total", 0) == 0)
                summary += "  " + line + "\n";
    }
    std::printf("%s", summary.c_str());
    std::printf("cat: %.2f s (%.0f MiB/s)\nrecover: %.2f s (%.0f MiB/s)\nratio recover/cat: %.2f (target 1.5)\n", cat,
                gib * 1024 / cat, recover, gib * 1024 / recover, recover / cat);
    std::printf("start-up (quillon-cli records on the same image): %.2f s\n", start);
    std::filesystem::remove(image);
    std::filesystem::remove(image + ".txt");
    return 0;
}

// Every file of a fuzz target's corpus (seeds and the inputs that once
// crashed it) through the target's own entry point, in the ordinary build:
// a finding stays fixed without clang or libFuzzer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

// The harnesses keep their scratch files in /tmp, named by the process id.
void RemoveScratchFiles()
{
    const std::string mark = "quillon-fuzz-";
    const std::string pid = std::to_string(::getpid());
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/tmp", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(mark, 0) == 0 && name.find(pid) != std::string::npos)
            fs::remove(entry.path(), ec);
    }
}

// The suite is named after the target (fuzz_bmp_load...), one binary each.
TEST(FUZZ_TARGET, EveryCorpusFileRunsThrough)
{
    const fs::path corpus = FUZZ_CORPUS_DIR;
    ASSERT_TRUE(fs::is_directory(corpus)) << corpus;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(corpus))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << "no corpus files in " << corpus;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_TRUE(in.eof() || in.good());
        EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
    }
    RemoveScratchFiles();
}

}  // namespace

#pragma once
// A fresh directory under /tmp for one test, removed with everything in it.
#include <cstdlib>
#include <filesystem>
#include <string>

namespace testing_support {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            dir = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!dir.empty())
            std::filesystem::remove_all(dir, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return dir; }
    std::string File(const std::string& name) const { return (dir / name).string(); }

private:
    std::filesystem::path dir;
};

}  // namespace testing_support

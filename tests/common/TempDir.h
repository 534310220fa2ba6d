#pragma once
// A fresh folder under the system's temporary directory for one test, removed
// with everything in it when the test ends (tests write nowhere else), and
// reading a whole file back.
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace orvala::test {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "orvala-test")
    {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
               (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of name inside the folder.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes bytes to name inside the folder and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const
    {
        const auto p = path_ / name;
        std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return p.string();
    }

private:
    std::filesystem::path path_;
};

// The whole file as bytes; empty when it cannot be read.
inline std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

}  // namespace orvala::test

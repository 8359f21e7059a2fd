// A scratch program folder per test.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace pimu::app::testing {

class TempDir {
public:
    TempDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("pimu_app_test_" + std::to_string(rd()) + "_" + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

    void Write(const std::string &name, const std::string &bytes) const {
        std::ofstream out(path_ / name, std::ios::binary);
        out << bytes;
    }
    std::string Read(const std::string &name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path path_;
};

}  // namespace pimu::app::testing

// Shared helpers of the CAD link tests.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "cadlink/embedded/drawing.h"

namespace pimu::cadlink::test {

inline const std::filesystem::path kData = PIMU_CADLINK_TEST_DATA;

// A fresh directory, removed with its contents at the end of the test.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("pimu_cadlink_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline std::string ReadFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The entities of model space (or a block) of one kind, in drawing order.
inline std::vector<embedded::EntityData> OfKind(const embedded::Drawing &d,
                                                embedded::EntityKind kind,
                                                const std::string &block = "") {
    std::vector<embedded::EntityData> out;
    const auto &ids = block.empty() ? d.ModelSpace() : d.FindBlock(block)->entities;
    for (auto id : ids)
        if (d.Get(id).kind == kind) out.push_back(d.Get(id));
    return out;
}

// A small R12 DXF text (LF line ends) with the given ENTITIES body.
inline std::string R12(const std::string &entities, const std::string &blocks = "") {
    std::string s = "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1009\n0\nENDSEC\n";
    if (!blocks.empty()) s += "0\nSECTION\n2\nBLOCKS\n" + blocks + "0\nENDSEC\n";
    s += "0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
    return s;
}

#define EXPECT_POINT_NEAR(p, ex, ey, ez, tol) \
    do {                                      \
        EXPECT_NEAR((p).x, (ex), (tol));      \
        EXPECT_NEAR((p).y, (ey), (tol));      \
        EXPECT_NEAR((p).z, (ez), (tol));      \
    } while (0)

}  // namespace pimu::cadlink::test

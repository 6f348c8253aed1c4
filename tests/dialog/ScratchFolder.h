#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

// A fresh folder below the test's temporary directory, removed with everything in it
// afterwards; path is empty when it could not be made.
struct ScratchFolder {
    std::filesystem::path path;
    ScratchFolder() {
        std::random_device random;
        const auto candidate = std::filesystem::u8path(::testing::TempDir()) /
                               ("vornak-" + std::to_string(random()) + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error))
            path = candidate;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
};

// The whole file, or "" when it cannot be read.
inline std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

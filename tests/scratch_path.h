// Scratch files for tests: names in the temporary folder that are this
// process's own, so that test runs side by side (two build folders,
// ctest -j) never share one.
#pragma once

#include <chrono>
#include <filesystem>
#include <random>
#include <string>

namespace testing_support {

inline std::filesystem::path scratch_path(const std::string& name) {
    static const std::string tag = std::to_string(std::random_device{}()) + "-" +
                                   std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    return std::filesystem::temp_directory_path() / (name + "-" + tag);
}

}  // namespace testing_support

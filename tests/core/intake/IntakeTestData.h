#pragma once

// Files the intake and archive tests read: their own data under tests/data and
// what the code under test wrote.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kestrin::testing {

inline std::string bytesOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A file under tests/data, such as "intake/deploy-v1.json".
inline std::string testData(const std::string& name) {
    return bytesOf(std::filesystem::path(VELMORA_TEST_DATA) / name);
}

}  // namespace kestrin::testing

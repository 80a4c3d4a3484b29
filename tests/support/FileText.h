#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kestrin::testing {

// The whole content of `file`, byte for byte; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace kestrin::testing

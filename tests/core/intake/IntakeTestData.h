#pragma once

// Files the intake and archive tests read.

#include <algorithm>
#include <nlohmann/json.hpp>
#include <vector>

#include "support/Readback.h"

namespace kestrin::testing {

// A file under tests/data, such as "intake/deploy-v1.json".
inline std::string testData(const std::string& name) { return readFile(std::filesystem::path(VELMORA_TEST_DATA) / name); }

// The deploy receipt with the values at the given JSON pointers replaced.
inline std::string deploy(std::initializer_list<std::pair<const char*, nlohmann::json>> changes = {}) {
    auto receipt = nlohmann::json::parse(testData("intake/deploy-v1.json"));
    for (const auto& [pointer, value] : changes) receipt[nlohmann::json::json_pointer(pointer)] = value;
    return receipt.dump();
}

// The names in `directory`, sorted.
inline std::vector<std::string> namesIn(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace kestrin::testing

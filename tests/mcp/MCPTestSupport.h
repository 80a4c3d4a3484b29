#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace kestrin::testing {

// A receipt that passes every check, with `itemCount` items of one run_command step each (none
// makes it a no-action receipt). The project path holds slashes, so its written form shows the
// escaping.
nlohmann::json validReceipt(const std::string& receiptID, std::int64_t version, int itemCount);

// Marks a left-out id or params member.
inline const nlohmann::json absent(nlohmann::json::value_t::discarded);

// One request line (with line feed); an absent id makes it a notification.
std::string requestLine(const std::string& method, const nlohmann::json& id = absent,
                        const nlohmann::json& params = absent);

// A tools/call request line for `tool` with `arguments`.
std::string toolCallLine(const nlohmann::json& id, const std::string& tool,
                         const nlohmann::json& arguments);

// The lines of `output`; fails the test when the text does not end with a line feed.
std::vector<std::string> outputLines(const std::string& output);

// Each output line parsed as JSON.
std::vector<nlohmann::json> replies(const std::string& output);

}  // namespace kestrin::testing

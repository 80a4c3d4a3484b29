#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "core/intake/AppPaths.h"
#include "mcp/KestrinMCPMain.h"
#include "support/ChildProcess.h"
#include "support/Readback.h"

extern char** environ;

namespace kestrin::testing {

using nlohmann::json;

// The minimal receipt with `itemCount` items "item-<n>" (none: no action), drawing no warning.
inline json validReceipt(const std::string& receiptID, std::int64_t version, int itemCount) {
    static const json minimal =
        json::parse(readFile(VELMORA_TEST_DATA "/json/minimal-receipt.compact.json"));
    json receipt = minimal, item = minimal["items"][0];
    receipt["items"] = json::array();
    item["priority"] = "high";  // not "critical", which draws a warning
    for (int index = 1; index <= itemCount; ++index) {
        item["id"] = "item-" + std::to_string(index);
        item["title"] = "Approve the deployment " + std::to_string(index);
        receipt["items"].push_back(item);
    }
    receipt["receipt_id"] = receiptID;
    receipt["version"] = version;
    receipt["state"] = itemCount > 0 ? "waiting_for_user" : "completed";
    receipt["requires_user_action"] = itemCount > 0;
    return receipt;
}

// Marks a left-out id or params member; an absent id makes a notification.
inline const json absent(json::value_t::discarded);

// One request line, with its line feed.
inline std::string requestLine(const std::string& method, const json& id = absent,
                               const json& params = absent) {
    json message = {{"jsonrpc", "2.0"}, {"method", method}};
    if (!id.is_discarded()) message["id"] = id;
    if (!params.is_discarded()) message["params"] = params;
    return message.dump() + "\n";
}

inline std::string toolCallLine(const json& id, const std::string& tool, const json& arguments) {
    return requestLine("tools/call", id, json{{"name", tool}, {"arguments", arguments}});
}

inline std::string submission(const json& id, const json& receipt) {
    return toolCallLine(id, "submit_intervention_receipt", {{"receipt", receipt}});
}

inline std::string pong(const std::string& id) {
    return R"({"id":)" + id + R"(,"jsonrpc":"2.0","result":{}})";
}
inline const std::string parseError =
    R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})";

// The lines of `output`; fails the test when it does not end with a line feed.
inline std::vector<std::string> outputLines(const std::string& output) {
    if (!output.empty() && output.back() != '\n') ADD_FAILURE() << "no final line feed";
    return textLines(output);
}

// The whole program in-process on `input`: its standard output; it must end with 0, stderr empty.
inline std::string serveInProcess(const AppPaths::Environment& environment,
                                  const std::string& input) {
    std::istringstream in(input);
    std::ostringstream out, err;
    EXPECT_EQ(KestrinMCPMain::main(environment, in, out, err), 0);
    EXPECT_EQ(err.str(), "");
    return out.str();
}

// The real kestrin-mcp with this process's environment but KESTRIN_HOME=`home`.
inline std::vector<std::string> environmentWithHome(const std::filesystem::path& home) {
    std::vector<std::string> environment{"KESTRIN_HOME=" + home.string()};
    for (char** entry = environ; *entry; ++entry)
        if (!std::string_view(*entry).starts_with("KESTRIN_HOME="))
            environment.emplace_back(*entry);
    return environment;
}
struct ServerProcess : ChildProcess {
    explicit ServerProcess(const std::filesystem::path& home, int standardInput = -1)
        : ChildProcess(KESTRIN_MCP_PATH, {}, environmentWithHome(home), standardInput) {}
};

}  // namespace kestrin::testing

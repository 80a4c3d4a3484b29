#include "MCPTestSupport.h"

#include <gtest/gtest.h>

namespace kestrin::testing {

using nlohmann::json;

json validReceipt(const std::string& receiptID, std::int64_t version, int itemCount) {
    json items = json::array();
    for (int index = 1; index <= itemCount; ++index) {
        const std::string number = std::to_string(index);
        items.push_back({
            {"id", "item-" + number},
            {"title", "Approve the deployment " + number},
            {"reason", "Only a person may approve production changes."},
            {"expected_outcome", "The deployment is approved."},
            {"category", "terminal"},
            {"priority", "high"},
            {"estimated_minutes", 5},
            {"prerequisites", json::array()},
            {"steps", json::array({{{"id", "step-1"},
                                    {"order", 1},
                                    {"title", "Run the check"},
                                    {"instruction", "Run the release check in the project."},
                                    {"kind", "run_command"},
                                    {"working_directory", "/Users/dev/velmora"},
                                    {"command", "make release-check"},
                                    {"requires_password", false},
                                    {"success_signal", "It prints OK."},
                                    {"failure_action", "Send the output to the agent."}}})},
            {"verification",
             {{"instruction", "Open the release page."},
              {"success_evidence", "It shows approved."}}},
        });
    }
    return {{"schema_version", "1.0"},
            {"receipt_id", receiptID},
            {"version", version},
            {"created_at", "2026-07-27T08:30:00.000Z"},
            {"updated_at", "2026-07-27T08:45:00.000Z"},
            {"source", {{"agent", "codex"}, {"task_title", "Prepare the release"}}},
            {"project", {{"name", "velmora"}, {"path", "/Users/dev/velmora"}}},
            {"state", itemCount > 0 ? "waiting_for_user" : "completed"},
            {"requires_user_action", itemCount > 0},
            {"summary", "The release waits for a person's approval."},
            {"items", std::move(items)}};
}

std::string requestLine(const std::string& method, const json& id, const json& params) {
    json message = {{"jsonrpc", "2.0"}, {"method", method}};
    if (!id.is_discarded()) message["id"] = id;
    if (!params.is_discarded()) message["params"] = params;
    return message.dump() + "\n";
}

std::string toolCallLine(const json& id, const std::string& tool, const json& arguments) {
    return requestLine("tools/call", id, json{{"name", tool}, {"arguments", arguments}});
}

std::vector<std::string> outputLines(const std::string& output) {
    std::vector<std::string> lines;
    if (output.empty()) return lines;
    EXPECT_EQ(output.back(), '\n') << "output does not end with a line feed";
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        lines.push_back(output.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<json> replies(const std::string& output) {
    std::vector<json> parsed;
    for (const auto& line : outputLines(output)) parsed.push_back(json::parse(line));
    return parsed;
}

}  // namespace kestrin::testing

// The example receipts under examples/ and the receipt guide docs/receipts.md, through the real
// kestrin-mcp: every example is accepted without warnings, and the guide's refusals and rewrites
// behave as it says.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "MCPTestSupport.h"
#include "ServerProcess.h"
#include "support/Readback.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {
namespace {

const std::filesystem::path sourceDirectory = VELMORA_SOURCE_DIR;
// Built from pieces so that no token-shaped text sits in the sources.
const std::string token = std::string("ghp_") + "R8mT2qLw5ZxN7cVb3KjH9pDf4GsA6yEu1oQi";

json example(const std::string& name) {
    return json::parse(readFile(sourceDirectory / "examples" / name));
}

// The outcome of one submission of `receipt` (an object, or its JSON text); no example draws a
// warning, and no answer repeats the token.
std::string submit(ServerProcess& server, const json& receipt) {
    EXPECT_TRUE(
        server.send(toolCallLine(1, "submit_intervention_receipt", {{"receipt", receipt}})));
    const auto line = server.readLine();
    const json result = line ? json::parse(*line)["result"] : json::object();
    EXPECT_EQ(line.value_or("").find(token), std::string::npos);
    EXPECT_EQ(result["structuredContent"].value("warnings", json::array()), json::array())
        << result;
    return result["isError"] == true ? "refused" : result["structuredContent"].value("result", "");
}

// Every file in examples/, also those added later: accepted, each item a pending task of its
// category, and the same file again, sent as its own text, a duplicate.
TEST(Examples, EveryExampleIsAcceptedAndThenADuplicate) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(sourceDirectory / "examples"))
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 9u);
    std::set<std::string> categories;
    ScratchDirectory scratch;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        ServerProcess server(scratch / file.stem());
        const std::string text = readFile(file);
        const json receipt = json::parse(text);
        EXPECT_EQ(submit(server, receipt), receipt["items"].empty() ? "no_action" : "inserted");
        EXPECT_EQ(submit(server, text), "duplicate");
        Rows expected;
        for (const auto& item : receipt["items"]) {
            expected.push_back(receipt["receipt_id"].get<std::string>() +
                               "::" + item["id"].get<std::string>() + "|" +
                               item["category"].get<std::string>() + "|pending");
            categories.insert(item["category"]);
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(sqliteRows(scratch / file.stem() / "tasks.sqlite",
                             "SELECT task_key, category, status FROM tasks ORDER BY 1"),
                  expected);
        EXPECT_EQ(server.finish(), "");
        EXPECT_EQ(server.wait(), 0);
    }
    EXPECT_EQ(categories, (std::set<std::string>{"decision", "external_wait", "interface",
                                                 "permission", "physical", "terminal"}));
}

TEST(Examples, TheGuidesResubmissionRefusalsAndRewritesBehaveAsItSays) {
    const json terminal = example("receipt-terminal.json");
    json missingDetails = terminal, secret = terminal;
    missingDetails["items"][0]["estimated_minutes"] = 0;
    missingDetails["items"][0]["steps"][1]["success_signal"] = "  ";
    secret["items"][0]["steps"][0]["command"] =
        "GITHUB_TOKEN=" + token + " brew install mkcert nss";
    // A credential inside a command is JSON within JSON: only the scan with escapes resolved sees
    // it.
    json nested = secret, rewritten = secret;
    nested["items"][0]["steps"][0]["command"] = "brew install mkcert nss";
    nested["items"][0]["steps"][3]["command"] =
        R"(curl -X POST https://ca.internal/issue -d '{"token": "dev-ca-2026"}')";
    // The rewrite the guide asks for: name where the secret lives, leave credential fields empty.
    rewritten["items"][0]["steps"][0]["command"] =
        "GITHUB_TOKEN=\"$(security find-generic-password -s gh -w)\" brew install mkcert nss";
    rewritten["items"][0]["steps"][3]["command"] =
        R"(curl -X POST https://ca.internal/issue -H "Authorization: Bearer $CA_TOKEN" -d '{"token": ""}')";
    const json permission = example("receipt-permission.json");
    const std::pair<json, const char*> cases[] = {
        {missingDetails, "refused"}, {secret, "refused"},
        {nested, "refused"},         {rewritten, "inserted"},
        {permission, "inserted"},    {example("receipt-permission-v2.json"), "updated"},
        {permission, "stale"},
    };
    ScratchDirectory scratch;
    ServerProcess server(scratch.path());
    for (const auto& [receipt, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(submit(server, receipt), expected);
    }
    EXPECT_EQ(sqliteRows(scratch / "tasks.sqlite", "SELECT receipt_id, version FROM receipts"),
              (Rows{"rc-2026-07-28-pixel-forge-https|1",
                    permission["receipt_id"].get<std::string>() + "|2"}));
    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(server.wait(), 0);

    // The guide shows the terminal example in full; it must not drift from the file.
    const std::string guide = readFile(sourceDirectory / "docs" / "receipts.md");
    const auto start = guide.find("```json\n", guide.find("\n## A complete example\n"));
    ASSERT_NE(start, std::string::npos);
    const auto end = guide.find("\n```\n", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(json::parse(guide.substr(start + 8, end - start - 8)), terminal);
}

}  // namespace
}  // namespace kestrin::testing

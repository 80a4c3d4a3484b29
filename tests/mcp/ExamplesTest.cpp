// The example receipts under examples/ and the receipt guide docs/receipts.md,
// checked through the real kestrin-mcp binary: every example is answered the
// way the guide says, and the guide's refusals read as it quotes them.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include "MCPTestSupport.h"
#include "support/ScratchDirectory.h"
#include "ServerProcess.h"

namespace kestrin::testing {
namespace {

using nlohmann::json;

const std::filesystem::path sourceDirectory = VELMORA_SOURCE_DIR;

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << file;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

json example(const std::string& name) {
    return json::parse(readText(sourceDirectory / "examples" / name));
}

// A kestrin-mcp on the data directory `home`, called one tool at a time.
class AgentSession {
public:
    explicit AgentSession(std::filesystem::path home) : home_(std::move(home)), server_(home_) {}

    ~AgentSession() {
        EXPECT_EQ(server_.finish(), "");
        EXPECT_EQ(server_.wait(), 0);
        EXPECT_EQ(server_.standardError(), "");
    }

    // The tool result ("content", "isError", "structuredContent") of one call.
    json call(const std::string& tool, const json& arguments) {
        const json id = nextID_++;
        EXPECT_TRUE(server_.send(toolCallLine(id, tool, arguments)));
        const auto line = server_.readLine();
        if (!line) {
            ADD_FAILURE() << "no reply to " << tool;
            return json::object();
        }
        const json reply = json::parse(*line);
        EXPECT_EQ(reply["id"], id) << *line;
        return reply["result"];
    }

    // Submits `receipt`: an object, or the whole receipt as JSON text.
    json submit(const json& receipt) {
        return call("submit_intervention_receipt", {{"receipt", receipt}});
    }

    std::int64_t count(const std::string& sql) const {
        return queryInteger(home_ / "tasks.sqlite", sql);
    }

private:
    std::filesystem::path home_;
    ServerProcess server_;
    int nextID_ = 1;
};

// Checks an accepted submission's answer; returns its payload.
json expectAccepted(const json& result, const std::string& outcome, const std::string& message) {
    EXPECT_EQ(result["isError"], false) << result.dump();
    const json& payload = result["structuredContent"];
    EXPECT_EQ(payload["result"], outcome) << result.dump();
    EXPECT_EQ(payload["message"], message);
    EXPECT_EQ(payload["warnings"], json::array()) << "an example should draw no warnings";
    return payload;
}

std::string refusal(const json& result) {
    EXPECT_EQ(result["isError"], true) << result.dump();
    return result["structuredContent"].value("error", "");
}

TEST(Examples, EachCategoryExampleIsInsertedWithOneTaskPerItem) {
    struct Case {
        const char* file;
        const char* category;
    };
    const Case cases[] = {
        {"receipt-terminal.json", "terminal"},     {"receipt-interface.json", "interface"},
        {"receipt-permission.json", "permission"}, {"receipt-decision.json", "decision"},
        {"receipt-physical.json", "physical"},     {"receipt-external-wait.json", "external_wait"}};
    ScratchDirectory scratch;
    AgentSession agent(scratch.path());
    std::int64_t taskTotal = 0;

    for (const auto& [file, category] : cases) {
        SCOPED_TRACE(file);
        const json receipt = example(file);
        const std::string receiptID = receipt["receipt_id"];
        const auto itemCount = static_cast<std::int64_t>(receipt["items"].size());
        ASSERT_GE(itemCount, 1);
        for (const auto& item : receipt["items"]) EXPECT_EQ(item["category"], category);

        const json payload =
            expectAccepted(agent.submit(receipt), "inserted",
                           "已导入 " + std::to_string(itemCount) + " 个人工介入事项。");
        EXPECT_EQ(payload["receipt_id"], receiptID);
        EXPECT_EQ(payload["task_count"], itemCount);
        for (const auto& item : receipt["items"]) {
            const std::string key = receiptID + "::" + item["id"].get<std::string>();
            EXPECT_EQ(agent.count("SELECT COUNT(*) FROM tasks WHERE task_key = '" + key +
                                  "' AND category = '" + category + "' AND status = 'pending'"),
                      1)
                << key;
        }
        taskTotal += itemCount;
    }

    EXPECT_EQ(agent.count("SELECT COUNT(*) FROM tasks"), taskTotal);
    EXPECT_EQ(agent.call("get_kestrin_status",
                         json::object())["structuredContent"]["unfinished_task_count"],
              taskTotal);
}

TEST(Examples, TheNoActionReceiptGoesToTheHistoryOnly) {
    ScratchDirectory scratch;
    AgentSession agent(scratch.path());

    const json payload = expectAccepted(agent.submit(example("receipt-no-action.json")),
                                        "no_action", "回执已进入历史记录；当前没有人工介入事项。");
    EXPECT_EQ(payload["task_count"], 0);
    EXPECT_EQ(agent.count("SELECT COUNT(*) FROM receipts WHERE receipt_id = "
                          "'rc-2026-07-30-harbor-cli-deps' AND requires_user_action = 0"),
              1);
    EXPECT_EQ(agent.count("SELECT COUNT(*) FROM tasks"), 0);
}

TEST(Examples, TheResubmissionUpdatesItsReceiptAndTheOlderVersionIsThenStale) {
    ScratchDirectory scratch;
    AgentSession agent(scratch.path());
    const json first = example("receipt-permission.json");
    const json second = example("receipt-permission-v2.json");
    ASSERT_EQ(second["receipt_id"], first["receipt_id"]);
    const std::string receiptID = first["receipt_id"];

    expectAccepted(agent.submit(first), "inserted", "已导入 1 个人工介入事项。");
    const json updated =
        expectAccepted(agent.submit(second), "updated", "已从 v1 更新到 v2，当前有 2 个事项。");
    EXPECT_EQ(updated["version"], 2);
    EXPECT_EQ(updated["task_count"], 2);
    for (const auto& item : second["items"]) {
        EXPECT_EQ(agent.count("SELECT COUNT(*) FROM tasks WHERE receipt_version = 2 AND "
                              "task_key = '" +
                              receiptID + "::" + item["id"].get<std::string>() + "'"),
                  1);
    }
    EXPECT_EQ(agent.count("SELECT COUNT(*) FROM tasks"), 2);

    // The older file sent again changes nothing.
    expectAccepted(agent.submit(first), "stale", "已忽略旧版本；本地已有 v2。");
    EXPECT_EQ(agent.count("SELECT version FROM receipts"), 2);
    EXPECT_EQ(agent.count("SELECT COUNT(*) FROM tasks"), 2);
}

// Every file in examples/, also those added later: accepted without warnings,
// and the same file again, sent as the file's own text rather than as an
// object, is a duplicate.
TEST(Examples, EveryExampleSubmittedTwiceIsADuplicate) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(sourceDirectory / "examples")) {
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 9u);

    ScratchDirectory scratch;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        AgentSession agent(scratch / file.stem());
        const std::string text = readText(file);
        const json receipt = json::parse(text);
        const bool hasItems = !receipt["items"].empty();

        const json result = agent.submit(receipt);
        EXPECT_EQ(result["isError"], false) << result.dump();
        EXPECT_EQ(result["structuredContent"]["result"], hasItems ? "inserted" : "no_action");
        EXPECT_EQ(result["structuredContent"]["warnings"], json::array());

        expectAccepted(agent.submit(text), "duplicate", "这张回执已经导入，没有创建重复事项。");
        EXPECT_EQ(agent.count("SELECT COUNT(*) FROM receipts"), 1);
    }
}

TEST(Examples, ChangedContentUnderTheSameVersionIsRefusedUntilTheVersionIsRaised) {
    ScratchDirectory scratch;
    AgentSession agent(scratch.path());
    json receipt = example("receipt-terminal.json");
    expectAccepted(agent.submit(receipt), "inserted", "已导入 1 个人工介入事项。");

    receipt["summary"] = receipt["summary"].get<std::string>() + "证书生成后还要重启开发服务器。";
    EXPECT_EQ(refusal(agent.submit(receipt)),
              "同一 receipt_id 和 version 的内容不一致（rc-2026-07-28-pixel-forge-https "
              "v1）；请让 Agent 增加 version 后重试。");

    receipt["version"] = 2;
    receipt["updated_at"] = "2026-07-28T02:40:00.000Z";
    expectAccepted(agent.submit(receipt), "updated", "已从 v1 更新到 v2，当前有 1 个事项。");
}

TEST(Examples, AReceiptCarryingSecretsIsRefusedByRuleAndLineAndItsRewriteIsAccepted) {
    ScratchDirectory scratch;
    AgentSession agent(scratch.path());
    // Built from pieces so that no token-shaped text sits in the sources.
    const std::string token = std::string("ghp_") + "R8mT2qLw5ZxN7cVb3KjH9pDf4GsA6yEu1oQi";
    json receipt = example("receipt-terminal.json");
    auto& steps = receipt["items"][0]["steps"];
    steps[0]["command"] = "GITHUB_TOKEN=" + token + " brew install mkcert nss";
    // A credential inside a command is JSON within JSON: only the scan with
    // escapes resolved sees it.
    steps[3]["command"] = R"(curl -X POST https://ca.internal/issue -d '{"token": "dev-ca-2026"}')";

    const std::string error = refusal(agent.submit(receipt));
    EXPECT_EQ(error,
              "回执包含疑似秘密，已阻止导入：第 1 行 credential_field；第 1 行 github_token。");
    EXPECT_EQ(error.find(token), std::string::npos);
    EXPECT_EQ(agent.count("SELECT COUNT(*) FROM receipts"), 0);

    // The rewrite the guide asks for: name where the secret lives, leave
    // credential fields empty.
    steps[0]["command"] =
        "GITHUB_TOKEN=\"$(security find-generic-password -s gh -w)\" brew "
        "install mkcert nss";
    steps[3]["command"] =
        R"(curl -X POST https://ca.internal/issue -H "Authorization: Bearer $CA_TOKEN" -d '{"token": ""}')";
    expectAccepted(agent.submit(receipt), "inserted", "已导入 1 个人工介入事项。");
}

TEST(Examples, AReceiptMissingDetailsIsRefusedWithEveryErrorButNoWarning) {
    ScratchDirectory scratch;
    AgentSession agent(scratch.path());
    json receipt = example("receipt-terminal.json");
    auto& item = receipt["items"][0];
    item["estimated_minutes"] = 0;
    item["steps"][1]["success_signal"] = "  ";
    item["priority"] = "critical";  // without risk: only a warning
    item.erase("risk");

    EXPECT_EQ(refusal(agent.submit(receipt)),
              "回执缺少可执行信息：items[0].estimated_minutes：预计耗时必须在 1–1440 "
              "分钟之间。；items[0].steps[1].success_signal：每一步都必须写明可观察的成功信号。");
    EXPECT_EQ(agent.count("SELECT COUNT(*) FROM receipts"), 0);
}

// The guide shows the terminal example in full; it must not drift from the
// file.
TEST(ReceiptGuide, ItsCompleteExampleIsTheTerminalExample) {
    const std::string guide = readText(sourceDirectory / "docs" / "receipts.md");
    const auto section = guide.find("\n## A complete example\n");
    ASSERT_NE(section, std::string::npos);
    const std::string fenceStart = "```json\n";
    const auto start = guide.find(fenceStart, section);
    ASSERT_NE(start, std::string::npos);
    const auto end = guide.find("\n```\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string shown =
        guide.substr(start + fenceStart.size(), end - start - fenceStart.size());
    EXPECT_EQ(json::parse(shown), example("receipt-terminal.json"));
}

}  // namespace
}  // namespace kestrin::testing

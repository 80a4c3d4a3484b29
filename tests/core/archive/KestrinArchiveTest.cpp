// The archive document: its wire form, its decoding and the validation that
// decides whether it may be restored.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ArchiveTestReceipts.h"
#include "core/archive/KestrinArchive.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

std::string readTestFile(const std::string& name) {
    std::ifstream file(std::string(VELMORA_TEST_DATA) + "/archive/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

Timestamp at(const char* text) {
    return *parseKestrinISO8601(text);
}

// A valid archive of two receipts (three tasks) with one state per task.
KestrinArchive validArchive() {
    KestrinArchive archive;
    archive.exportedAt = at("2026-07-28T09:15:00Z");
    archive.receipts = {archived(validReceipt("r-alpha", 1, {"item-1", "item-2"})),
                        archived(validReceipt("r-beta", 3))};
    archive.taskStates = {
        {"r-alpha::item-1",
         TaskStatus::inProgress,
         std::nullopt,
         {{"step-1", at("2026-07-28T09:00:00Z")}}},
        {"r-alpha::item-2", TaskStatus::snoozed, at("2026-07-30T00:00:00Z"), {}},
        {"r-beta::item-1",
         TaskStatus::completed,
         std::nullopt,
         {{"step-1", at("2026-07-28T09:00:00Z")}, {"step-2", at("2026-07-28T09:01:00Z")}}},
    };
    return archive;
}

Result<void, TaskArchiveError> validate(const KestrinArchive& archive) {
    return archive.validate(ReceiptValidator{}, SecretScanner{});
}

// The description of the validation failure, or "valid".
std::string verdict(const KestrinArchive& archive) {
    auto result = validate(archive);
    return result ? "valid" : result.error().description();
}

}  // namespace

TEST(TaskArchiveError, EveryDescriptionIsExact) {
    EXPECT_EQ(TaskArchiveError::malformed("缺少必填字段").description(),
              "数据归档无法解析：缺少必填字段");
    EXPECT_EQ(TaskArchiveError::unsupportedSchema("2.0.0").description(),
              "暂不支持数据归档版本 2.0.0。");
    EXPECT_EQ(TaskArchiveError::duplicateReceipt("r-1").description(),
              "数据归档包含重复回执：r-1。");
    EXPECT_EQ(TaskArchiveError::duplicateTaskState("r-1::a").description(),
              "数据归档包含重复任务状态：r-1::a。");
    EXPECT_EQ(TaskArchiveError::receiptIdentityMismatch("r-1").description(),
              "归档目录与回执正文的标识不一致：r-1。");
    EXPECT_EQ(TaskArchiveError::receiptHashMismatch("r-1").description(),
              "回执 r-1 的校验值不匹配，归档可能已损坏或被修改。");
    EXPECT_EQ(TaskArchiveError::invalidReceipt("r-1 包含疑似秘密。").description(),
              "归档包含无效回执：r-1 包含疑似秘密。");
    EXPECT_EQ(TaskArchiveError::missingTask("r-1::a").description(),
              "归档状态引用了不存在的任务：r-1::a。");
    EXPECT_EQ(TaskArchiveError::invalidStep("r-1::a", "step-9").description(),
              "归档状态引用了未知步骤：r-1::a / step-9。");
    EXPECT_EQ(TaskArchiveError::staleReceipt("r-1", 1, 12).description(),
              "归档中的 r-1 v1 早于本地 v12，已停止恢复以避免覆盖较新数据。");
    EXPECT_EQ(TaskArchiveError::unsafePath("/data/tasks.sqlite").description(),
              "不能使用当前任务数据库作为备份或恢复来源：/data/tasks.sqlite");
    EXPECT_EQ(TaskArchiveError::notUTF8().description(), "数据归档必须是 UTF-8 JSON 文本。");
}

// MARK: - Wire form

TEST(KestrinArchive, CompactFormHasSortedSnakeCaseKeysAndLeavesOutAbsentWakeUps) {
    KestrinArchive archive;
    archive.exportedAt = at("2026-07-28T09:15:00.5Z");
    archive.receipts = {{"r-1", 2, "abc", "{\"path\": \"/Users/dev\"}\n"}};
    archive.taskStates = {
        {"r-1::a", TaskStatus::readyToResume, std::nullopt, {{"s-1", at("2026-07-28T09:00:00Z")}}},
        {"r-1::b", TaskStatus::snoozed, at("2026-07-29T00:00:00Z"), {}}};
    EXPECT_EQ(archive.encode(false),
              R"({"exported_at":"2026-07-28T09:15:00.500Z","receipts":[{"raw_hash":"abc",)"
              R"("raw_json":"{\"path\": \"/Users/dev\"}\n","receipt_id":"r-1","version":2}],)"
              R"("schema_version":"1.0.0","task_states":[{"completed_steps":[{"completed_at":)"
              R"("2026-07-28T09:00:00.000Z","step_id":"s-1"}],"status":"ready_to_resume",)"
              R"("task_key":"r-1::a"},{"completed_steps":[],"snoozed_until":)"
              R"("2026-07-29T00:00:00.000Z","status":"snoozed","task_key":"r-1::b"}]})");
}

TEST(KestrinArchive, BothLayoutsDecodeBackToTheSameArchive) {
    const auto archive = validArchive();
    const std::string pretty = archive.encode(true);
    EXPECT_NE(pretty.find("\n  "), std::string::npos);
    EXPECT_EQ(KestrinArchive::decode(pretty).value(), archive);
    EXPECT_EQ(KestrinArchive::decode(archive.encode(false)).value(), archive);
}

TEST(KestrinArchive, ReadsAWrittenDocumentWithNullWakeUpsAndUnknownKeys) {
    auto archive = KestrinArchive::decode(readTestFile("deploy-archive.json"));
    ASSERT_TRUE(archive) << archive.error().message();
    EXPECT_EQ(archive->schemaVersion, "1.0.0");
    EXPECT_EQ(archive->exportedAt, at("2026-07-28T09:15:00.500Z"));
    ASSERT_EQ(archive->receipts.size(), 1u);
    EXPECT_EQ(archive->receipts[0].receiptID(), "rc-deploy-2026");
    EXPECT_TRUE(archive->receipts[0].rawJSON().starts_with("{\n  \"schema_version\": \"1.0\",\n"));
    ASSERT_EQ(archive->taskStates.size(), 2u);
    EXPECT_EQ(archive->taskStates[0].snoozedUntil, std::nullopt);
    EXPECT_EQ(archive->taskStates[1].snoozedUntil, at("2026-07-29T00:00:00Z"));
    EXPECT_EQ(archive->taskStates[1].completedSteps.at(0).stepID(), "step-1");
    EXPECT_EQ(verdict(*archive), "valid");
}

TEST(KestrinArchive, DecodingNamesWhereTheDocumentIsWrong) {
    const struct {
        const char* json;
        const char* message;
    } cases[] = {
        {R"({"schema_version":"1.0.0","exported_at":"2026-07-28T09:15:00Z","receipts":[]})",
         "task_states：缺少必填字段"},
        {R"({"schema_version":"1.0.0","exported_at":"2026-07-28T09:15:00Z","receipts":[],)"
         R"("task_states":[{"task_key":"k","status":"done","completed_steps":[]}]})",
         "task_states[0].status：取值无效，应为以下之一：pending、in_progress、snoozed、"
         "waiting_external、ready_to_resume、completed、cancelled"},
        {R"({"schema_version":"1.0.0","exported_at":"yesterday","receipts":[],"task_states":[]})",
         "exported_at：日期必须是 ISO 8601 格式，例如 2026-07-27T08:30:00Z"},
        {R"({"schema_version":"1.0.0","exported_at":"2026-07-28T09:15:00Z","task_states":[],)"
         R"("receipts":[{"receipt_id":"r","version":"1","raw_hash":"h","raw_json":"{}"}]})",
         "receipts[0].version：类型错误：应为整数，实际为文本"},
    };
    for (const auto& c : cases) {
        auto decoded = KestrinArchive::decode(c.json);
        ASSERT_FALSE(decoded) << c.json;
        EXPECT_EQ(decoded.error().message(), c.message);
    }
}

// MARK: - Validation

TEST(KestrinArchive, AcceptsEveryFirstVersionAndAnEmptyArchive) {
    auto archive = validArchive();
    EXPECT_EQ(verdict(archive), "valid");
    archive.schemaVersion = "1.9";
    EXPECT_EQ(verdict(archive), "valid");
    EXPECT_EQ(verdict(KestrinArchive{}), "valid");
    for (const char* version : {"2.0.0", "1", "", "v1.0"}) {
        archive.schemaVersion = version;
        EXPECT_EQ(verdict(archive), std::string("暂不支持数据归档版本 ") + version + "。");
    }
}

TEST(KestrinArchive, RefusesReceiptsByTheFirstRuleTheyBreak) {
    const auto receipt = validReceipt("r-gamma", 2);
    const std::string raw = rawJSON(receipt);
    auto withEntry = [](ArchivedReceipt entry) {
        auto archive = validArchive();
        archive.receipts.push_back(std::move(entry));
        return archive;
    };

    auto listedTwice = withEntry(archived(receipt));
    listedTwice.receipts.push_back({"r-gamma", 2, "not even a hash", raw});
    EXPECT_EQ(verdict(listedTwice), "数据归档包含重复回执：r-gamma。");

    auto changed = archived(receipt);
    changed.rawJson[changed.rawJson.find("velmora")] = 'V';
    EXPECT_EQ(verdict(withEntry(changed)), "回执 r-gamma 的校验值不匹配，归档可能已损坏或被修改。");

    auto upperCaseHash = archived(receipt);
    for (char& c : upperCaseHash.rawHash) c = static_cast<char>(std::toupper(c));
    EXPECT_EQ(verdict(withEntry(upperCaseHash)),
              "回执 r-gamma 的校验值不匹配，归档可能已损坏或被修改。");

    // A secret is found before the text is even parsed, also behind escapes.
    auto withSecret = receipt;
    withSecret.summary = "KEY";
    const std::string secretRaw = rawJSON(withSecret);
    for (const char* secret :
         {"sk-proj0123456789abcdefghij", "\\u0073k-proj0123456789abcdefghij"}) {
        std::string text = secretRaw;
        text.replace(text.find("KEY"), 3, secret);
        EXPECT_EQ(verdict(withEntry(archivedText("r-gamma", 2, text + "not json"))),
                  "归档包含无效回执：r-gamma 包含疑似秘密。")
            << secret;
    }

    // The decoder's own wording follows the identifier.
    EXPECT_TRUE(verdict(withEntry(archivedText("r-gamma", 2, raw.substr(0, 40))))
                    .starts_with("归档包含无效回执：r-gamma：不是有效的 JSON 文本"));

    EXPECT_EQ(verdict(withEntry(archivedText("r-other", 2, raw))),
              "归档目录与回执正文的标识不一致：r-other。");
    EXPECT_EQ(verdict(withEntry(archivedText("r-gamma", 3, raw))),
              "归档目录与回执正文的标识不一致：r-gamma。");

    auto incomplete = receipt;
    incomplete.summary = " ";
    incomplete.project.path = "relative/path";
    EXPECT_EQ(verdict(withEntry(archived(incomplete))),
              "归档包含无效回执：macOS MVP 要求项目路径使用绝对路径。；"
              "必须用一句话说明 Agent 当前为什么结束或暂停。");
}

TEST(KestrinArchive, RefusesTaskStatesThatDoNotFitTheArchivedReceipts) {
    auto stateOf = [](std::string key, std::vector<std::string> steps) {
        ArchivedTaskState state{std::move(key), TaskStatus::completed, std::nullopt, {}};
        for (auto& step : steps)
            state.completedSteps.push_back({std::move(step), at("2026-07-28T09:00:00Z")});
        return state;
    };
    auto with = [](ArchivedTaskState state) {
        auto archive = validArchive();
        archive.taskStates.push_back(std::move(state));
        return archive;
    };

    EXPECT_EQ(verdict(with(stateOf("r-alpha::item-1", {}))),
              "数据归档包含重复任务状态：r-alpha::item-1。");
    // Only the archive counts, not what a local database may hold.
    EXPECT_EQ(verdict(with(stateOf("r-delta::item-1", {}))),
              "归档状态引用了不存在的任务：r-delta::item-1。");
    EXPECT_EQ(verdict(with(stateOf("r-alpha::item-3", {}))),
              "归档状态引用了不存在的任务：r-alpha::item-3。");

    auto archive = validArchive();
    archive.taskStates[2] = stateOf("r-beta::item-1", {"step-2", "step-1", "step-2"});
    EXPECT_EQ(verdict(archive), "归档状态引用了未知步骤：r-beta::item-1 / step-2。");
    archive.taskStates[2] = stateOf("r-beta::item-1", {"step-1", "step-3"});
    EXPECT_EQ(verdict(archive), "归档状态引用了未知步骤：r-beta::item-1 / step-3。");
}

TEST(KestrinArchive, ReceiptsAreCheckedBeforeAnyTaskState) {
    auto archive = validArchive();
    archive.taskStates.push_back(archive.taskStates.front());
    archive.receipts.push_back(archive.receipts.front());
    EXPECT_EQ(verdict(archive), "数据归档包含重复回执：r-alpha。");
}

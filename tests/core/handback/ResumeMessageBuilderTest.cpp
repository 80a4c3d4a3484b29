#include <gtest/gtest.h>

#include <functional>

#include "core/handback/ResumeMessageBuilder.h"

using namespace kestrin;

namespace {

ActionStep step(std::string id, std::int64_t order, std::string title) {
    ActionStep s;
    s.id = std::move(id);
    s.order = order;
    s.title = std::move(title);
    s.instruction = "不应出现在消息里的说明";
    s.command = "echo not-in-message";
    return s;
}

// Steps listed 3, 1, 2 with step 2 done, as a store would hand the task out.
TaskRecord workedTask() {
    TaskRecord record;
    record.taskKey = "deploy-2026-07-27::grant-access";
    record.receiptID = "deploy-2026-07-27";
    record.receiptVersion = 3;
    record.project = {.name = "velmora", .path = "/Users/me/velmora"};
    record.source = {
        .agent = AgentKind::codex, .taskTitle = "发布 0.3.3", .taskId = {}, .locator = {}};
    record.receiptSummary = "不应出现在消息里的摘要";
    record.item.id = "grant-access";
    record.item.title = "授予终端完全磁盘访问权限";
    record.item.reason = "不应出现在消息里的原因";
    record.item.risk = "不应出现在消息里的风险";
    record.item.steps = {step("s3", 3, "重新运行部署脚本"), step("s1", 1, "打开系统设置"),
                         step("s2", 2, "勾选终端")};
    record.item.verification = {.instruction = "运行 ls ~/Library/Mail",
                                .successEvidence = "列出目录而不报错"};
    record.completedStepIDs = {"s2"};
    return record;
}

const std::string kClosing = "\n\n请先核对以上结果，再继续执行；不要把未执行步骤推断为已完成。";
const std::string kHead =
    "请从人工介入结果继续原任务。\n\n项目：velmora\n原任务：发布 0.3.3\n"
    "回执：deploy-2026-07-27 v3\n人工事项：授予终端完全磁盘访问权限\n\n已执行：\n";
const std::string kTail = "\n核验要求：运行 ls ~/Library/Mail\n成功证据：列出目录而不报错";
const std::string kOne = "- 第 1 步：打开系统设置", kTwo = "- 第 2 步：勾选终端",
                  kThree = "- 第 3 步：重新运行部署脚本", kDone = "（已完成）\n",
                  kOpen = "（未完成）\n";
const std::string kWorkedBody =
    kHead + kTwo + kDone + "\n尚未执行：\n" + kOne + kOpen + kThree + kOpen + kTail;

}  // namespace

// The whole message, line for line, for each way a task can stand; it ends
// without a line feed.
TEST(ResumeMessageBuilder, WritesEveryLineInOrder) {
    using Change = std::function<void(TaskRecord&)>;
    const struct {
        const char* name;
        Change change;
        std::string notes;
        std::string message;
    } cases[] = {
        {"worked", [](TaskRecord&) {}, "", kWorkedBody + kClosing},
        {"unknown or wrong-case step id",
         [](TaskRecord& r) {
             r.completedStepIDs = {"no-such-step", "S1"};
         },
         "",
         kHead + "- 无\n\n尚未执行：\n" + kOne + kOpen + kTwo + kOpen + kThree + kOpen + kTail +
             kClosing},
        {"all done",
         [](TaskRecord& r) {
             r.completedStepIDs = {"s1", "s2", "s3"};
         },
         "",
         kHead + kOne + kDone + kTwo + kDone + kThree + kDone + "\n尚未执行：\n- 无\n" + kTail +
             kClosing},
        {"blank notes", [](TaskRecord&) {}, " \n\t\u3000\u2028", kWorkedBody + kClosing},
        // Only the ends of a note are trimmed.
        {"notes", [](TaskRecord&) {}, "\n\u3000第一行\n  第二行\t\n\n",
         kWorkedBody + "\n\n本人记录：第一行\n  第二行" + kClosing},
        {"blank context", [](TaskRecord& r) { r.item.resumeContext = " \n\t "; }, "",
         kWorkedBody + kClosing},
        // The context goes in as stored, before the notes.
        {"context and notes",
         [](TaskRecord& r) { r.item.resumeContext = "  继续执行 make deploy\n"; }, " 已重启服务 ",
         kWorkedBody + "\n\nAgent 恢复上下文：  继续执行 make deploy\n\n\n本人记录：已重启服务" +
             kClosing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TaskRecord record = workedTask();
        c.change(record);
        EXPECT_EQ(ResumeMessageBuilder().build(record, c.notes), c.message);
    }
}

TEST(ResumeMessageBuilder, InsertsRecordTextsAsTheyAreAndSortsStepsStably) {
    TaskRecord record = workedTask();
    record.project.name = " velmora ";
    record.item.title = "两行\n标题";
    record.receiptVersion = 12;
    record.completedStepIDs.clear();
    // Enough steps that an unstable sort would show.
    record.item.steps = {step("s", 10, "多行\n步骤 ")};
    std::string expected = "尚未执行：\n";
    for (int i = 0; i < 24; ++i) {
        record.item.steps.push_back(
            step("s" + std::to_string(i), 2 - i % 2, "步骤" + std::to_string(i)));
    }
    for (int i = 1; i < 24; i += 2) expected += "- 第 1 步：步骤" + std::to_string(i) + kOpen;
    for (int i = 0; i < 24; i += 2) expected += "- 第 2 步：步骤" + std::to_string(i) + kOpen;
    expected += "- 第 10 步：多行\n步骤 " + kOpen + "\n核验要求：";
    const std::string message = ResumeMessageBuilder().build(record, "");
    EXPECT_NE(message.find("\n项目： velmora \n"), std::string::npos) << message;
    EXPECT_NE(message.find("\n回执：deploy-2026-07-27 v12\n人工事项：两行\n标题\n"),
              std::string::npos);
    EXPECT_NE(message.find(expected), std::string::npos) << message;
}

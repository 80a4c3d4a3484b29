#include <gtest/gtest.h>

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

const std::string kClosingLine = "请先核对以上结果，再继续执行；不要把未执行步骤推断为已完成。";

// Everything from the first line up to the success evidence, for workedTask().
const std::string kWorkedTaskBody =
    "请从人工介入结果继续原任务。\n"
    "\n"
    "项目：velmora\n"
    "原任务：发布 0.3.3\n"
    "回执：deploy-2026-07-27 v3\n"
    "人工事项：授予终端完全磁盘访问权限\n"
    "\n"
    "已执行：\n"
    "- 第 2 步：勾选终端（已完成）\n"
    "\n"
    "尚未执行：\n"
    "- 第 1 步：打开系统设置（未完成）\n"
    "- 第 3 步：重新运行部署脚本（未完成）\n"
    "\n"
    "核验要求：运行 ls ~/Library/Mail\n"
    "成功证据：列出目录而不报错";

}  // namespace

TEST(ResumeMessageBuilder, WritesTheLinesInOrderAndEndsWithoutLineFeed) {
    EXPECT_EQ(ResumeMessageBuilder().build(workedTask(), ""),
              kWorkedTaskBody + "\n\n" + kClosingLine);
}

TEST(ResumeMessageBuilder, MarksEveryStepOpenOrDoneWithNoneForAnEmptyGroup) {
    TaskRecord record = workedTask();
    record.completedStepIDs = {"no-such-step"};  // an identifier of no step is ignored
    std::string message = ResumeMessageBuilder().build(record, "");
    EXPECT_NE(message.find("已执行：\n- 无\n\n尚未执行：\n"
                           "- 第 1 步：打开系统设置（未完成）\n"
                           "- 第 2 步：勾选终端（未完成）\n"
                           "- 第 3 步：重新运行部署脚本（未完成）\n\n"),
              std::string::npos)
        << message;

    record.completedStepIDs = {"s1", "s2", "s3"};
    message = ResumeMessageBuilder().build(record, "");
    EXPECT_NE(message.find("已执行：\n"
                           "- 第 1 步：打开系统设置（已完成）\n"
                           "- 第 2 步：勾选终端（已完成）\n"
                           "- 第 3 步：重新运行部署脚本（已完成）\n\n"
                           "尚未执行：\n- 无\n\n核验要求："),
              std::string::npos)
        << message;

    record.completedStepIDs = {"S1"};  // step identifiers match exactly, letter case included
    message = ResumeMessageBuilder().build(record, "");
    EXPECT_NE(message.find("已执行：\n- 无\n"), std::string::npos) << message;
}

TEST(ResumeMessageBuilder, StepsWithTheSameOrderKeepTheirListOrder) {
    // Enough steps that an unstable sort would show.
    TaskRecord record = workedTask();
    record.item.steps.clear();
    record.completedStepIDs.clear();
    std::string expected = "尚未执行：\n";
    for (int i = 0; i < 24; ++i)
        record.item.steps.push_back(
            step("s" + std::to_string(i), 2 - i % 2, "步骤" + std::to_string(i)));
    for (int i = 1; i < 24; i += 2)
        expected += "- 第 1 步：步骤" + std::to_string(i) + "（未完成）\n";
    for (int i = 0; i < 24; i += 2)
        expected += "- 第 2 步：步骤" + std::to_string(i) + "（未完成）\n";
    const std::string message = ResumeMessageBuilder().build(record, "");
    EXPECT_NE(message.find(expected + "\n核验要求："), std::string::npos) << message;
}

TEST(ResumeMessageBuilder, AddsTrimmedNotesOnlyWhenNotBlank) {
    const ResumeMessageBuilder builder;
    const std::string withoutNotes = kWorkedTaskBody + "\n\n" + kClosingLine;
    for (const char* blank : {"", "   ", " \n\t\r\n ", "\u3000\u00a0\u2028"}) {
        EXPECT_EQ(builder.build(workedTask(), blank), withoutNotes) << blank;
    }
    EXPECT_EQ(builder.build(workedTask(), "  已重启服务  "),
              kWorkedTaskBody + "\n\n本人记录：已重启服务\n\n" + kClosingLine);
    // Only the ends are trimmed; a note over several lines keeps its inner breaks.
    EXPECT_EQ(builder.build(workedTask(), "\n\u3000第一行\n  第二行\t\n\n"),
              kWorkedTaskBody + "\n\n本人记录：第一行\n  第二行\n\n" + kClosingLine);
}

TEST(ResumeMessageBuilder, InsertsTheResumeContextAsStoredBeforeTheNotes) {
    const ResumeMessageBuilder builder;
    TaskRecord record = workedTask();

    record.item.resumeContext = " \n\t ";
    EXPECT_EQ(builder.build(record, ""), kWorkedTaskBody + "\n\n" + kClosingLine);

    record.item.resumeContext = "  继续执行 make deploy\n";
    EXPECT_EQ(
        builder.build(record, ""),
        kWorkedTaskBody + "\n\nAgent 恢复上下文：  继续执行 make deploy\n\n\n" + kClosingLine);

    EXPECT_EQ(builder.build(record, " 已重启服务 "),
              kWorkedTaskBody +
                  "\n\nAgent 恢复上下文：  继续执行 make deploy\n"
                  "\n\n本人记录：已重启服务\n\n" +
                  kClosingLine);
}

TEST(ResumeMessageBuilder, InsertsRecordTextsAsTheyAre) {
    TaskRecord record = workedTask();
    record.project.name = " velmora ";
    record.item.title = "两行\n标题";
    record.item.steps = {step("s1", 10, "多行\n步骤 ")};
    record.receiptVersion = 12;
    const std::string message = ResumeMessageBuilder().build(record, "");
    EXPECT_NE(message.find("\n项目： velmora \n"), std::string::npos);
    EXPECT_NE(message.find("\n回执：deploy-2026-07-27 v12\n人工事项：两行\n标题\n"),
              std::string::npos);
    EXPECT_NE(message.find("\n尚未执行：\n- 第 10 步：多行\n步骤 （未完成）\n"), std::string::npos);
}

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/handback/ResumeMessageBuilder.h"
#include "core/handback/ResumeMessageGuard.h"
#include "core/handback/SessionResumeCommand.h"
#include "core/handback/SourceLinkResolver.h"
#include "core/handback/TaskListPolicy.h"
#include "core/support/ShellWord.h"

using namespace kestrin;

namespace {

using Names = std::vector<std::string>;
using Text = std::optional<std::string>;

TaskRecord task(std::string key, std::string project, TaskStatus status = TaskStatus::pending) {
    TaskRecord record;
    record.taskKey = std::move(key);
    record.status = status;
    record.project = {.name = std::move(project), .path = "/work/" + record.taskKey};
    return record;
}

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
    TaskRecord record = task("deploy-2026-07-27::grant-access", "velmora");
    record.receiptID = "deploy-2026-07-27";
    record.receiptVersion = 3;
    record.source = {AgentKind::codex, "发布 0.3.3", {}, {}};
    record.receiptSummary = "不应出现在消息里的摘要";
    record.item.reason = "不应出现在消息里的原因";
    record.item.title = "授予终端完全磁盘访问权限";
    record.item.steps = {step("s3", 3, "重新运行部署脚本"), step("s1", 1, "打开系统设置"),
                         step("s2", 2, "勾选终端")};
    record.item.verification = {"运行 ls ~/Library/Mail", "列出目录而不报错"};
    record.completedStepIDs = {"s2"};
    return record;
}

Names keysOf(const std::vector<TaskRecord>& tasks) {
    Names keys;
    for (const auto& t : tasks) keys.push_back(t.taskKey);
    return keys;
}

}  // namespace

// The whole message, line for line, for each way a task can stand; it ends without a line feed.
TEST(ResumeMessageBuilder, WritesEveryLineInOrder) {
    const std::string head =
        "请从人工介入结果继续原任务。\n\n项目：velmora\n原任务：发布 0.3.3\n"
        "回执：deploy-2026-07-27 v3\n人工事项：授予终端完全磁盘访问权限\n\n已执行：\n";
    const std::string tail = "\n核验要求：运行 ls ~/Library/Mail\n成功证据：列出目录而不报错";
    const std::string closing = "\n\n请先核对以上结果，再继续执行；不要把未执行步骤推断为已完成。";
    const std::string one = "- 第 1 步：打开系统设置", two = "- 第 2 步：勾选终端",
                      three = "- 第 3 步：重新运行部署脚本";
    const std::string done = "（已完成）\n", open = "（未完成）\n";
    const std::string undone = "\n尚未执行：\n";
    const std::string worked = head + two + done + undone + one + open + three + open + tail;
    // clang-format off
    const struct {
        std::set<std::string> ticked;
        Text context;
        std::string notes, message;
    } cases[] = {
        // An unknown step and a wrong-case one tick nothing.
        {{"no-such-step", "S1"}, {}, "",
         head + "- 无\n" + undone + one + open + two + open + three + open + tail},
        {{"s1", "s2", "s3"}, {}, "",
         head + one + done + two + done + three + done + undone + "- 无\n" + tail},
        {{"s2"}, {}, " \n\t\u3000\u2028", worked},
        // Only the ends of a note are trimmed.
        {{"s2"}, {}, "\n\u3000第一行\n  第二行\t\n\n", worked + "\n\n本人记录：第一行\n  第二行"},
        {{"s2"}, " \n\t ", "", worked},
        // The context goes in as stored, before the notes.
        {{"s2"}, "  继续执行 make deploy\n", " 已重启服务 ",
         worked + "\n\nAgent 恢复上下文：  继续执行 make deploy\n\n\n本人记录：已重启服务"},
    };
    // clang-format on
    for (const auto& c : cases) {
        TaskRecord record = workedTask();
        record.completedStepIDs = c.ticked;
        record.item.resumeContext = c.context;
        EXPECT_EQ(ResumeMessageBuilder().build(record, c.notes), c.message + closing) << c.notes;
    }
}

TEST(ResumeMessageBuilder, KeepsStepsOfEqualOrderInListedOrder) {
    TaskRecord record = workedTask();
    record.item.steps = {step("b", 2, "乙"), step("a", 2, "甲"), step("c", 1, "丙")};
    const std::string listed =
        "- 第 1 步：丙（未完成）\n- 第 2 步：乙（未完成）\n- 第 2 步：甲（未完成）";
    EXPECT_NE(ResumeMessageBuilder().build(record, "").find(listed), std::string::npos);
}

// The note starts on line 17. Texts name line and rule, never the secret; escaped secrets count.
TEST(ResumeMessageGuard, NamesEachSecretOfTheNoteByLineAndRule) {
    const auto checkNote = [](const std::string& note) {
        return ResumeMessageGuard().check(ResumeMessageBuilder().build(task("k", "shop"), note));
    };
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"转义后也算：gh\\u0070_0123456789abcdefghijKLMN", "第 17 行（github_token）"},
        {"两个：\nAKIAIOSFODNN7EXAMPLE Bearer abcdefghijklmnopqr",
         "第 18 行（aws_key）、第 18 行（bearer_token）"},
    };
    for (const auto& [note, places] : cases) {
        const auto error = checkNote(note);
        EXPECT_EQ(error ? error->description() : "",
                  places.empty() ? ""
                                 : "恢复消息中像是有密钥：" + places +
                                       "。请先从备注中删掉密钥，不要把密钥交给 Agent。")
            << note;
    }
    EXPECT_EQ(checkNote("sk-proj0123456789abcdefghij")->heldBackDescription(),
              "恢复消息像是含有密钥，已暂不交给 Agent；用户删掉密钥后会再回传结果。");
    // A scan that could not finish has no findings to name.
    EXPECT_EQ(ResumeSecretError{}.description(),
              "恢复消息无法完成密钥检查。请先缩短备注中过长的文本，不要把密钥交给 Agent。");
}

// Only an identifier in its agent's exact format reaches a link or a resume command.
TEST(SourceLinkResolver, OnlyAnIdentifierInItsAgentsExactFormatIsOffered) {
    const std::string onlyCodex =
        "当前仅支持自动返回 Codex；其他 Agent 请复制恢复消息后手动返回原任务。";
    const std::string untrusted =
        "回执里的 Codex 定位链接不可信或格式不正确。恢复消息仍可复制；请手动在 Codex "
        "中打开原任务。";
    const std::string noUUID =
        "回执没有提供真实的 Codex thread UUID。恢复消息仍可复制；请手动在 Codex 中打开原任务。";
    const std::string u = "3f2a9c1e-7b4d-4e8a-9c0f-1a2b3c4d5e6f",
                      upper = "0B1C2D3E-4F50-4A6B-8C7D-9E0F1A2B3C4D";
    const std::string lower = "0b1c2d3e-4f50-4a6b-8c7d-9e0f1a2b3c4d", t = "codex://threads/";
    const std::string session = "ses_0a1b2c3d4e5fABCDEFGHijklmn", nul(1, '\0');
    const auto codex = [&](Text locator, Text taskId, std::string link) {
        return std::make_tuple(AgentKind::codex, locator, taskId, link,
                               link.starts_with(t) ? "codex resume " + link.substr(16) : "");
    };
    std::vector<std::tuple<AgentKind, Text, Text, std::string, std::string>> cases = {
        {AgentKind::claudeCode, t + u, u, onlyCodex, "claude --resume " + u},
        {AgentKind::claudeCode, {}, " " + u + "\n", onlyCodex, "claude --resume " + u},
        {AgentKind::claudeCode, {}, upper, onlyCodex, ""},
        {AgentKind::claudeCode, u, {}, onlyCodex, ""},
        {AgentKind::claudeCode, {}, u + " --dangerously-skip-permissions", onlyCodex, ""},
        {AgentKind::openCode, {}, session, onlyCodex, "opencode --session " + session},
        {AgentKind::openCode, {}, session.substr(0, 29), onlyCodex, ""},
        {AgentKind::openCode, {}, "ses_$(rm -rf ~)aaaaaaaaaaaaaaa", onlyCodex, ""},
        {AgentKind::other, t + u, u, onlyCodex, ""},
        // A trusted locator is rebuilt in lower case and wins over the task identifier.
        codex(t + u, {}, t + u),
        codex("CODEX://Threads/3F2A9C1E-7B4D-4E8A-9C0F-1A2B3C4D5E6F", {}, t + u),
        codex(" \t\n" + t + u + "\r\n\u3000", {}, t + u),
        codex(t + u, upper, t + u),
        codex({}, "  " + upper + " \n", t + lower),
        // A blank locator counts as none.
        codex({}, {}, noUUID),
        codex(" \n ", "thread-42", noUUID),
        codex("thread-42", "thread-42", untrusted),
        codex("thread-42", upper, t + lower),
    };
    for (const std::string& id : {std::string(""), upper + "x", upper + nul})
        cases.push_back(codex({}, id, noUUID));
    // However close to the thread link, these never give one.
    // clang-format off
    const std::string lookalikes[] = {
        t + u + "/", t + u + "?", t + u + "#", "codex://threads:/" + u, "codex://@threads/" + u,
        "https://threads/" + u, "codexx://threads/" + u, "codex:///" + u, "codex://thread/" + u,
        "codex://127.0.0.1/" + u, "codex://[::1]/" + u, "codex://[v7.threads]/" + u,
        "codex://thr%65ads/" + u, t + "3f2a9c1e7b4d4e8a9c0f1a2b3c4d5e6f", t + u + "0", u,
        t + "3f2a9c1e-7b4d-4e8a-9c0f-1a2b3c4d5e6g", std::string("codex://threads"), t, t + " " + u,
        t + "\x01" + u, t + u + "\nhttps://evil.example/", t + u.substr(0, 35) + nul, t + u + nul,
        t + std::string(10'000, '/')};
    // clang-format on
    for (const auto& locator : lookalikes) cases.push_back(codex(locator, {}, untrusted));
    for (const auto& [agent, locator, taskId, link, shellLine] : cases) {
        SCOPED_TRACE(locator.value_or("-") + " " + taskId.value_or("-"));
        TaskRecord record = task("k", "p");
        record.source = {agent, "发布", taskId, locator};
        const auto resolution = SourceLinkResolver().resolve(record.source);
        EXPECT_EQ(resolution.url ? *resolution.url : resolution.reason.value_or(""), link);
        const auto command = SessionResumeCommand::forTask(record);
        EXPECT_EQ(command ? command->shellLine() : "",
                  shellLine.empty() ? "" : "cd /work/k && " + shellLine);
        for (const char* relative : {"", "work/k"}) {
            record.project.path = relative;
            EXPECT_EQ(SessionResumeCommand::forTask(record), std::nullopt);
        }
    }
    const SessionResumeCommand command{{"claude", "--resume", "abc"}, "/Users/x/it's $HOME; rm"};
    EXPECT_EQ(command.shellLine(), "cd '/Users/x/it'\\''s $HOME; rm' && claude --resume abc");
    EXPECT_EQ(ShellWord::quoted(""), "''");
}

// Closed tasks are hidden, the rest keep the store's order; projects match by exact name.
TEST(TaskListPolicy, ProjectsListTheirOpenTasksByExactName) {
    // clang-format off
    const std::vector<TaskRecord> store = {
        task("1", "B"), task("2", "A"), task("3", "B", TaskStatus::snoozed),
        task("5", "Dropped", TaskStatus::cancelled), task("6", "Dropped", TaskStatus::completed),
        task("7", "B", TaskStatus::cancelled), task("8", "B", TaskStatus::readyToResume),
        task("9", "B", TaskStatus::waitingExternal)};
    const std::vector<TaskRecord> cafes = {
        task("decomposed", "Cafe\u0301"), task("composed", "Caf\u00e9"),
        task("upper", "CAF\u00c9")};
    // clang-format on
    const Names cafeNames = {"CAF\u00c9", "Cafe\u0301", "Caf\u00e9"};
    const struct {
        std::vector<TaskRecord> tasks;
        Names projects;
        const char* name;
        Names keys;
    } cases[] = {
        {store, {"A", "B"}, "B", {"1", "3", "8", "9"}},
        {store, {"A", "B"}, "b", {}},
        {store, {"A", "B"}, "Dropped", {}},
        // Case-sensitive code point order, not a locale's.
        {{task("1", "a"), task("2", "B"), task("3", "Ä"), task("4", "中文"), task("5", "Z")},
         {"B", "Z", "a", "Ä", "中文"},
         "a",
         {"1"}},
        // "e" + combining acute composes to U+00E9, after "f"; raw code points would put it first.
        {{task("1", "e\u0301"), task("2", "f")}, {"f", "e\u0301"}, "f", {"2"}},
        // Canonically equivalent names stay two projects, in byte order whatever the input order.
        {cafes, cafeNames, "Caf\u00e9", {"composed"}},
        {{cafes[2], cafes[1], cafes[0]}, cafeNames, "Cafe\u0301", {"decomposed"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TaskListPolicy::projectNames(c.tasks), c.projects);
        EXPECT_EQ(keysOf(TaskListPolicy::tasks(c.name, c.tasks)), c.keys);
        EXPECT_EQ(TaskListPolicy::hasVisibleTasks(c.name, c.tasks), !c.keys.empty());
    }
}

TEST(TaskListPolicy, ReconcilingKeepsAListedSelectionElseTakesTheFirst) {
    const std::vector<TaskRecord> shown = {task("a", "P"), task("b", "P"), task("c", "Q")};
    using Key = std::optional<std::string>;
    const std::tuple<Key, std::vector<TaskRecord>, Key> cases[] = {
        {"b", shown, "b"},
        {"gone", shown, "a"},
        {std::nullopt, shown, "a"},
        {"a", {}, std::nullopt},
        // Visibility is the caller's business: a listed closed task stays selected.
        {"z", {task("y", "P"), task("z", "P", TaskStatus::completed)}, "z"}};
    for (const auto& [selected, listed, expected] : cases) {
        EXPECT_EQ(TaskListPolicy::reconciledSelectedTaskKey(selected, listed), expected)
            << selected.value_or("-");
    }
}

// list, count, show and history on a pipe and a terminal; the text shaping beneath them.

#include "CLIFixture.h"
#include "cli/ConsoleFacts.h"
#include "cli/TaskSearch.h"
#include "cli/TerminalText.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

class CLIReadingTest : public CLIFixture {
protected:
    void SetUp() override {  // received at fixed times, so the output is stable
        importFiles({deployReceipt, webReceipt});
        exec("UPDATE tasks SET imported_at = '2026-07-27T08:30:00.000Z'");
        exec("UPDATE receipts SET imported_at = '2026-07-27T08:30:00.000Z'");
        exec("UPDATE receipts SET imported_at = '2026-07-28T10:00:00.000Z' WHERE version = 2");
    }
};

TEST_F(CLIReadingTest, EachReadingCommandPrintsItsExactText) {
    // clang-format off
    expectRuns({
        {{"list"}, 0, "待处理        在终端运行安装命令  0/1 步\n"
         "  rc-deploy-2026::item-sudo · staging · Codex · 2026-07-27 08:30\n"
         "待处理        批准发布  0/1 步\n"
         "  rc-deploy-2026::item-approve · staging · Codex · 2026-07-27 08:30\n"
         "待处理        在浏览器中授权部署平台访问代码仓库  0/2 步\n"
         "  rc-web-7::grant · 网站 · Claude Code · 2026-07-27 08:30\n"},
        {{"count"}, 0, "3\n"},
        {{"count", "--json"}, 0, "{\n  \"count\": 3\n}\n"},
        {{"list", "--search", "没有这个词"}, 0, "没有匹配的事项\n"},
        {{"history"}, 0, "网站 v2 · rc-web-7 · Claude Code · 含人工事项 · 2026-07-28 10:00\n"
         "  需要本人在浏览器里授权部署平台。\n"
         "staging v1 · rc-deploy-2026 · Codex · 含人工事项 · 2026-07-27 08:30\n"
         "  部署需要本人在终端输入 sudo 密码。\n"},
        {{"history", "--limit", "0"}, 0, "回执历史为空。\n"},
        {{"show", grant}, 0, "[待处理] [优先级 低] [权限与登录]\n在浏览器中授权部署平台访问代码仓库\n"
         "部署平台显示已连接仓库。\n网站 · Claude Code · 约 3 分钟 · 0/2 步\nrc-web-7::grant\n\n"
         "为什么现在需要你\n  部署平台需要读取私有仓库。\n  原 Agent 状态：Agent 被阻塞\n"
         "  原任务：重构网站首页\n  项目路径：/Users/dev/web\n  回执版本：rc-web-7 · v2\n\n"
         "开始前先确认\n  1. 已登录部署平台账号\n\n逐步操作\n"
         "  [ ] 第 1 步 · 进入位置 · open\n      打开授权页面\n"
         "      在浏览器打开部署平台的集成设置。\n      成功信号：看到授权按钮。\n"
         "      如果失败：告诉 Agent 页面地址不对。\n  [ ] 第 2 步 · 作出选择 · confirm\n"
         "      确认授权\n      点击授权按钮。\n      成功信号：页面显示已授权。\n"
         "      如果失败：截图发给 Agent。\n\n最终核验\n  刷新集成设置页面。\n"
         "  成功证据：仓库显示为已连接。\n  风险：授权范围过大。\n\n把结果送回原任务\n"
         "  完成所有步骤后生成恢复消息：velmora-cli resume rc-web-7::grant\n"},
    });
    // clang-format on
}

// Which tasks a filter keeps, in the store's order; count agrees with list.
TEST_F(CLIReadingTest, FiltersKeepOpenTasksUnlessAskedAndSearchFollowsTheAppsRule) {
    ASSERT_EQ(run({"status", approveTask, "completed"}).exitStatus, 0);
    ASSERT_EQ(run({"status", sudoTask, "cancelled"}).exitStatus, 0);
    // clang-format off
    const std::pair<std::vector<std::string>, Rows> cases[] = {
        {{}, {grant}}, {{"--all"}, {sudoTask, approveTask, grant}},
        {{"--status", "completed"}, {approveTask}},
        {{"--project", "staging"}, {}},
        {{"--project", "staging", "--all"}, {sudoTask, approveTask}},
        {{"--project", "Staging", "--all"}, {}},  // the exact name
        // Trimmed and lower-cased; the agent's and the category's display names; item title,
        // reason, project name and agent task title; never commands; blank is no filter.
        {{"--search", "  CLAUDE "}, {grant}}, {{"--search", "权限与"}, {grant}},
        {{"--search", "批准", "--all"}, {approveTask}}, {{"--search", "私有仓库"}, {grant}},
        {{"--search", "STAGING", "--all"}, {sudoTask, approveTask}},
        {{"--search", "deploy the", "--all"}, {sudoTask, approveTask}},
        {{"--search", "sudo make", "--all"}, {}},
        {{"--search", " \t ", "--all"}, {sudoTask, approveTask, grant}}};
    // clang-format on
    for (const auto& [filter, keys] : cases) {
        SCOPED_TRACE(::testing::PrintToString(filter));
        std::vector<std::string> arguments{"list", "--json"};
        arguments.insert(arguments.end(), filter.begin(), filter.end());
        const CLIRun listed = run(arguments);
        EXPECT_EQ(listed.exitStatus, 0) << listed.errors;
        Rows listedKeys;
        for (const auto& task : json::parse(listed.output)) listedKeys.push_back(task["task_key"]);
        EXPECT_EQ(listedKeys, keys);
        // The lines people read list the same tasks, each key at the start of a second line.
        std::vector<std::string> human{"list"};
        human.insert(human.end(), filter.begin(), filter.end());
        Rows humanKeys;
        for (const std::string& line : textLines(run(human).output)) {
            if (line.starts_with("  ")) humanKeys.push_back(line.substr(2, line.find(" · ") - 2));
        }
        EXPECT_EQ(humanKeys, keys);
        arguments[0] = "count";
        EXPECT_EQ(json::parse(run(arguments).output)["count"], keys.size());
    }
}

// The key is never cut, what follows it is; wide characters take two columns.
TEST_F(CLIReadingTest, RowsFitTheWidthOfColumnsOrOfTheTerminal) {
    EXPECT_EQ(run({"list", "--project", "staging"}, {}, {{"NO_COLOR", "1"}}, 36).output,
              "待处理        在终端运行安…   0/1 步\n  rc-deploy-2026::item-sudo · stagi…\n"
              "待处理        批准发布        0/1 步\n  rc-deploy-2026::item-approve · st…\n");
    ASSERT_EQ(run({"step", sudoTask, "step-1"}).exitStatus, 0);
    const auto shown = textLines(run({"list"}, {}, {{"COLUMNS", "40"}}).output);
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_EQ(shown[0], "处理中        在终端运行安装命令  1/1 步");
    EXPECT_EQ(shown[3], "  rc-deploy-2026::item-approve · stagin…");
    EXPECT_EQ(shown[4], "待处理        在浏览器中授权部…   0/2 步");
    for (const auto& line : shown) EXPECT_LE(TerminalText::columns(line), 40) << line;
    EXPECT_EQ(textLines(run({"list"}, {}, {{"COLUMNS", "20"}}).output)[5], "  rc-web-7::grant");

    // show wraps prose, never the command, the link or the resume line.
    const std::string sheet = run({"show", sudoTask}, {}, {{"COLUMNS", "40"}}).output;
    for (const char* part :
         {"  [x] 第 1 步 · 运行命令 · step-1\n",
          "      要粘贴的完整命令：\n        sudo make install\n",
          "      密码只在系统提示中输入：在终端提示\n      处输入登录密码；",
          "  Codex 任务：\n    codex://threads/019a2b3c-4d5e-6f70-8192-a3b4c5d6e7f8\n",
          "  回退办法：运行 sudo make uninstall。\n"})
        EXPECT_NE(sheet.find(part), std::string::npos) << part;
    for (const auto& line : textLines(sheet))
        EXPECT_TRUE(TerminalText::columns(line) <= 40 || line.find("codex://") != line.npos ||
                    line.find("velmora-cli") != line.npos)
            << line;
}

TEST_F(CLIReadingTest, ColoursOnlyOnATerminalAndReceiptTextsCannotSteerIt) {
    const auto escapes = [](const CLIRun& shown) { return shown.output.find('\x1b'); };
    expectMatch(run({"list"}, {}, {}, 80).output, "~\x1b[33m待处理      \x1b[0m", "coloured");
    EXPECT_NE(escapes(run({"list"}, {}, {{"NO_COLOR", ""}}, 80)), std::string::npos);
    EXPECT_EQ(escapes(run({"list"}, {}, {{"NO_COLOR", "1"}}, 80)), std::string::npos);
    EXPECT_EQ(escapes(run({"list"}, {}, {{"TERM", "dumb"}}, 80)), std::string::npos);
    EXPECT_EQ(escapes(run({"list"})), std::string::npos);
    json receipt = json::parse(readFile(testData(deployReceipt)));
    receipt["receipt_id"] = "rc-escape";
    receipt["items"][0]["title"] = "标题\x1b]0;pwned\x07\x1b[2J完";
    ASSERT_EQ(run({"import", "-"}, receipt.dump()).exitStatus, 0);
    const std::string task = "rc-escape::item-sudo", fffd = "\xEF\xBF\xBD";
    const CLIRun listed = run({"list"}, {}, {{"NO_COLOR", "1"}}, 80);
    EXPECT_EQ(escapes(listed), std::string::npos);
    EXPECT_EQ(listed.output.find('\x07'), std::string::npos);
    expectMatch(listed.output, "~标题" + fffd + "]0;pwned" + fffd + fffd + "[2J完", "list");
    EXPECT_EQ(escapes(run({"show", task}, {}, {{"NO_COLOR", "1"}}, 80)), std::string::npos);
    // Piped, the resume message is exact: it is meant to be pasted.
    ASSERT_EQ(run({"step", task, "step-1"}).exitStatus, 0);
    expectMatch(run({"resume", task}).output, "~人工事项：标题\x1b]0;pwned\x07", "piped");
    const CLIRun resumed = run({"resume", task}, {}, {{"NO_COLOR", "1"}}, 80);
    EXPECT_EQ(escapes(resumed), std::string::npos);
    EXPECT_NE(resumed.output.find("人工事项：标题" + fffd + "]0;pwned"), std::string::npos);
}

// --json: the record under the wire rules, absent members left out.
TEST_F(CLIReadingTest, JSONCarriesTheRecordUnderTheWireRules) {
    ASSERT_EQ(run({"step", grant, "open"}).exitStatus, 0);
    const json task = json::parse(run({"show", grant, "--json"}).output);
    const json expected = json::parse(R"({"task_key":"rc-web-7::grant","receipt_id":"rc-web-7",
        "receipt_version":2,"project":{"name":"网站","path":"/Users/dev/web"},
        "source":{"agent":"claude_code","task_title":"重构网站首页"},"receipt_state":"blocked",
        "status":"in_progress","completed_step_ids":["open"],"total_step_count":2,
        "created_at":"2026-07-28T09:00:00.000Z","imported_at":"2026-07-27T08:30:00.000Z"})");
    for (const auto& [name, value] : expected.items()) EXPECT_EQ(task[name], value) << name;
    EXPECT_FALSE(task.contains("snoozed_until"));
    EXPECT_EQ(task["item"]["steps"][0]["id"], "confirm");
    EXPECT_EQ(task["item"]["resume_context"], "继续部署首页。");
    ASSERT_EQ(run({"snooze", grant, "1h"}).exitStatus, 0);
    const json listed = json::parse(run({"list", "--project", "网站", "--json"}).output);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0]["status"], "snoozed");
    EXPECT_TRUE(listed[0].contains("snoozed_until"));
    EXPECT_EQ(json::parse(run({"history", "--limit", "1", "--json"}).output),
              json::parse(R"([{"receipt_id":"rc-web-7","version":2,"project_name":"网站",
        "agent":"claude_code","state":"blocked","requires_user_action":true,
        "summary":"需要本人在浏览器里授权部署平台。","imported_at":"2026-07-28T10:00:00.000Z"}])"));
}

TEST_F(CLIReadingTest, UnreadableRowsAreHiddenAndAnEmptyStoreSaysWhy) {
    exec("UPDATE tasks SET status = 'someday' WHERE task_key = '" + std::string(sudoTask) + "';");
    exec("UPDATE tasks SET item_json = json_remove(item_json, '$.steps') WHERE task_key = '" +
         std::string(approveTask) + "';");
    const CLIRun listed = run({"list", "--json"});
    EXPECT_EQ(listed.exitStatus, 0);
    EXPECT_EQ(json::parse(listed.output).size(), 1u);
    EXPECT_EQ(listed.errors,
              "部分记录无法解析：任务库中有 2 条记录无法被当前版本读取（可能由更新版本的 App "
              "写入）。其余功能不受影响；这些记录已从列表中隐藏。\n");
    // The lines people read, read without decoding, skip the same rows.
    const CLIRun lines = run({"list"});
    EXPECT_EQ(textLines(lines.output).size(), 2u);
    EXPECT_EQ(lines.errors, listed.errors);
    exec("DELETE FROM tasks;");
    EXPECT_EQ(run({"list"}).output,
              "没有匹配的事项\nCodex 通过 MCP 提交的人工介入事项会自动出现在这里。\n");
    // A listing the database cannot give is a failure, not an empty store.
    exec("DROP TABLE step_progress; DROP TABLE tasks; DROP TABLE receipts;");
    for (const Rows& command : {Rows{"list"}, Rows{"count"}, Rows{"count", "--search", "x"},
                                Rows{"history"}}) {
        const CLIRun failed = run(command);
        EXPECT_EQ(failed.exitStatus, 1);
        EXPECT_EQ(failed.output, "");
        EXPECT_NE(failed.errors.find("no such table"), std::string::npos) << failed.errors;
    }
}

TEST(TerminalTextTest, ColumnsFittingWrappingAndPrintableForm) {
    // clang-format off
    // Fullwidth punctuation and Latin, halfwidth kana, Hangul (also as jamo), a combining mark, a
    // joiner, U+FFFD.
    const std::pair<const char*, int> columns[] = {{"abc", 3}, {"中文", 4}, {"，。", 4}, {"ＡＢ", 4},
        {"ｱｲ", 2}, {"한글", 4}, {"\u1112\u1161\u11AB", 2}, {"e\u0301", 1}, {"a\u200Db", 2},
        {"\xFF", 1}};
    const std::tuple<const char*, int, const char*> fitted[] = {
        {"在终端运行安装命令", 18, "在终端运行安装命令"},
        {"在终端运行安装命令", 17, "在终端运行安装命…"},
        {"在终端运行安装命令", 16, "在终端运行安装…"}, {"abcdef", 4, "abc…"}, {"abcdef", 1, "…"},
        {"abcdef", 0, ""}, {"e\u0301e\u0301e\u0301", 2, "e\u0301…"}};
    const std::tuple<const char*, std::optional<int>, Rows> wrapped[] = {
        {"the quick brown fox", 10, {"the quick", "brown fox"}},
        {"在终端运行安装命令。", 8, {"在终端运", "行安装命", "令。"}},  // "。" never starts a line
        {"abcdefghij", 4, {"abcd", "efgh", "ij"}}, {"one\n\ntwo", 10, {"one", "", "two"}},
        {"a long line kept whole", std::nullopt, {"a long line kept whole"}}};
    // A stray ill-formed byte, a C1 CSI, line breaks kept or joined.
    const std::tuple<const char*, bool, const char*> printable[] = {
        {"a\x1b[31mb\x07", false, "a\uFFFD[31mb\uFFFD"}, {"a\x9b" "b", false, "a\uFFFDb"},
        {"a\u009Bb", false, "a\uFFFDb"}, {"a\tb\x7f", false, "a b\uFFFD"},
        {"one\r\ntwo\nthree", true, "one\ntwo\nthree"},
        {"one\r\ntwo\nthree", false, "one two three"},
        {"a\rb", true, "a\uFFFDb"}};
    // clang-format on
    for (const auto& [text, expected] : columns)
        EXPECT_EQ(TerminalText::columns(text), expected) << text;
    for (const auto& [text, width, expected] : fitted)
        EXPECT_EQ(TerminalText::fitted(text, width), expected);
    for (const auto& [text, width, expected] : wrapped)
        EXPECT_EQ(TerminalText::wrapped(text, width), expected);
    for (const auto& [text, keep, expected] : printable)
        EXPECT_EQ(TerminalText::printable(text, keep), expected);
    EXPECT_EQ(TerminalText::padded("中", 5), "中   ");
    EXPECT_EQ(TerminalText::padded("中文字", 5), "中文…");
    for (const auto& line : TerminalText::wrapped("运行 make check 之后把 输出 贴回 Agent", 9))
        EXPECT_LE(TerminalText::columns(line), 9) << line;
}

// Off a terminal, COLUMNS alone sets the width: a whole number of at least one column.
TEST(ConsoleFactsTest, ColumnsIsAPositiveWholeNumber) {
    const std::pair<const char*, std::optional<int>> cases[] = {{"80", 80}, {"1", 1},    {"0", {}},
                                                                {"-3", {}}, {"80x", {}}, {"", {}}};
    for (const auto& [columns, width] : cases)
        EXPECT_EQ(ConsoleFacts::detect({{"COLUMNS", columns}}).width, width) << columns;
}

TEST(TaskSearchTest, SearchFormIsLowerCaseAndComposed) {
    EXPECT_EQ(TaskSearch::searchForm("ÀB Claude"), "àb claude");
    EXPECT_EQ(TaskSearch::searchForm("Cafe\u0301"), "caf\u00e9");
    EXPECT_EQ(TaskSearch::searchForm("ΣΑΣ"), "σας");  // final sigma by full case mapping
}

}  // namespace

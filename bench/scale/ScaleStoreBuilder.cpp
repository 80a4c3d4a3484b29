#include "ScaleStoreBuilder.h"

#include <sqlite3.h>

#include <array>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string_view>

#include "core/intake/ReceiptImporter.h"
#include "core/receipt/Timestamp.h"
#include "core/store/SQLiteTaskStore.h"

namespace kestrin {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr std::int64_t seedReceiptCount = 1000;
// Written beside a finished store; a store whose mark differs is built again.
// Change it whenever the content below changes.
constexpr std::string_view layoutMark = "scale store layout 1";

constexpr std::array<std::string_view, 10> projectNames{
    "billing-service", "web-console", "mobile-app", "data-pipeline", "auth-gateway",
    "search-indexer",  "docs-site",   "infra",      "payments-api",  "analytics"};
constexpr std::array<std::string_view, 5> projectVariants{"", "-staging", "-v2", "-tools",
                                                          "-legacy"};
constexpr std::array<std::string_view, 4> agents{"codex", "claude_code", "opencode", "other"};
constexpr std::array<std::string_view, 8> actions{"授予", "确认", "更新", "轮换",
                                                  "配置", "检查", "审批", "恢复"};
constexpr std::array<std::string_view, 11> objects{
    "只读副本的访问权限",   "生产环境的部署窗口",     "支付网关的 API 密钥",
    "测试域名的 DNS 记录",  "负载均衡器的 TLS 证书",  "CI 流水线的机密变量",
    "数据库迁移窗口",       "对象存储的生命周期规则", "告警通知的值班表",
    "第三方登录的回调地址", "发布分支的保护规则"};
constexpr std::array<std::string_view, 6> categories{"terminal", "interface", "permission",
                                                     "decision", "physical",  "external_wait"};
constexpr std::array<std::string_view, 4> priorities{"critical", "high", "medium", "low"};

template <typename Array>
std::string_view pick(const Array& array, std::int64_t index) {
    return array[static_cast<std::size_t>(index) % array.size()];
}

std::string projectName(std::int64_t seed) {
    return std::string(pick(projectNames, seed)) +
           std::string(pick(projectVariants, seed / std::ssize(projectNames)));
}

json step(std::int64_t order, const std::string& project) {
    json step{{"id", "step-" + std::to_string(order)},
              {"order", order},
              {"requires_password", false},
              {"success_signal", "页面或终端显示操作成功，并且没有出现新的错误提示。"},
              {"failure_action", "如果结果与预期不同，截图当前页面并把错误文字复制到回传消息中。"}};
    switch (order) {
        case 1:
            step.update(
                {{"title", "打开云控制台"},
                 {"kind", "open_application"},
                 {"instruction", "在浏览器中打开云控制台并用本人账号登录，完成二次验证。"}});
            break;
        case 2:
            step.update({{"title", "进入项目设置"},
                         {"kind", "navigate"},
                         {"instruction", "在项目列表中选择 " + project +
                                             "，进入“访问控制”标签页，找到需要修改的条目。"}});
            break;
        case 3:
            step.update({{"title", "在终端运行检查命令"},
                         {"kind", "run_command"},
                         {"working_directory", "/Users/lin/work/" + project},
                         {"command", "scripts/check-access --project " + project + " --verbose"},
                         {"instruction", "在项目目录中运行下面的命令，按提示确认。"}});
            break;
        default:
            step.update(
                {{"title", "核对结果"},
                 {"kind", "verify"},
                 {"instruction", "刷新页面，确认新的设置已经生效，并记下页面上显示的时间。"}});
    }
    return step;
}

// Seed receipt `seed`: 2 or 3 items of 2 to 4 steps, about 1.5 KB of JSON each.
std::string seedReceipt(std::int64_t seed) {
    const std::string project = projectName(seed);
    json items = json::array();
    const std::int64_t itemCount = 2 + seed % 2;
    for (std::int64_t i = 0; i < itemCount; ++i) {
        const std::int64_t variant = seed * 3 + i;
        json steps = json::array();
        for (std::int64_t order = 1; order <= 2 + variant % 3; ++order) {
            steps.push_back(step(order, project));
        }
        items.push_back(
            {{"id", "item-" + std::to_string(i + 1)},
             {"title", std::string(pick(actions, variant)) +
                           std::string(pick(objects, variant / 7)) + "（第 " +
                           std::to_string(seed) + " 批）"},
             {"reason",
              "这一步需要本人的账号登录和二次验证，涉及生产环境的权限，Agent "
              "无法也不应代为完成；完成后 Agent 才能继续后面的迁移和验证工作。"},
             {"expected_outcome", "设置生效，" + project + " 的检查脚本不再报告权限错误。"},
             {"category", pick(categories, variant)},
             {"priority", pick(priorities, variant / 3)},
             {"estimated_minutes", 5 + variant % 20},
             {"prerequisites", {"云控制台管理员账号", "手机上的二次验证应用"}},
             {"steps", std::move(steps)},
             {"verification",
              {{"instruction", "重新运行项目的检查脚本。"},
               {"success_evidence", "终端输出 all checks passed。"}}}});
    }
    return json{
        {"schema_version", "1.0"},
        {"receipt_id", "rc-" + std::to_string(seed)},
        {"version", 1},
        {"created_at", "2026-01-05T09:00:00.000Z"},
        {"updated_at", "2026-01-05T09:00:00.000Z"},
        {"source",
         {{"agent", pick(agents, seed)},
          {"task_title", "整理 " + project + " 的发布流程（第 " + std::to_string(seed) + " 批）"}}},
        {"project", {{"name", project}, {"path", "/Users/lin/work/" + project}}},
        {"state", "waiting_for_user"},
        {"requires_user_action", true},
        {"summary",
         "代码和脚本已经准备好并通过了本地测试，剩下的几步需要本人登录控制台"
         "完成授权和确认，完成后 Agent 会继续发布。"},
        {"items", std::move(items)}}
        .dump();
}

// A raw connection for the bulk copy: the statements below work on whatever
// columns this build's tables have, copying rows whole.
class BulkConnection {
public:
    explicit BulkConnection(const fs::path& path) {
        if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) fail("open");
    }
    ~BulkConnection() { sqlite3_close(db_); }
    BulkConnection(const BulkConnection&) = delete;
    BulkConnection& operator=(const BulkConnection&) = delete;

    void execute(const std::string& sql) {
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) fail(sql);
    }
    std::int64_t integer(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) fail(sql);
        const bool row = sqlite3_step(statement) == SQLITE_ROW;
        const std::int64_t value = row ? sqlite3_column_int64(statement, 0) : -1;
        sqlite3_finalize(statement);
        return value;
    }

private:
    [[noreturn]] void fail(const std::string& what) {
        throw std::runtime_error("SQLite failed (" + std::string(sqlite3_errmsg(db_)) +
                                 ") at: " + what.substr(0, 200));
    }
    sqlite3* db_ = nullptr;
};

void replaceAll(std::string& text, std::string_view token, const std::string& value) {
    for (auto at = text.find(token); at != std::string::npos; at = text.find(token, at)) {
        text.replace(at, token.size(), value);
        at += value.size();
    }
}

// One copy of the seed receipts, suffixed "-{C}". {G} is a task's number in the
// whole store, which decides its status; receipts are a minute apart.
constexpr std::string_view copyStatements = R"(
DROP TABLE IF EXISTS temp.copy_receipts;
DROP TABLE IF EXISTS temp.copy_tasks;
CREATE TEMP TABLE copy_receipts AS SELECT * FROM seed.receipts ORDER BY rowid;
CREATE TEMP TABLE copy_tasks AS SELECT * FROM seed.tasks ORDER BY rowid;
DELETE FROM copy_tasks WHERE rowid > {LIMIT};
DELETE FROM copy_receipts WHERE receipt_id NOT IN (SELECT receipt_id FROM copy_tasks);
UPDATE copy_tasks SET
    imported_at = strftime('%Y-%m-%dT%H:%M:%fZ', '{BASE}', '-' || ({MINUTE} +
        (SELECT s.rowid FROM seed.receipts s WHERE s.receipt_id = copy_tasks.receipt_id)) ||
        ' minutes'),
    status = CASE WHEN ({G}) % 200 = 0 THEN CASE (({G}) / 200) % 5 WHEN 0 THEN 'pending'
                 WHEN 1 THEN 'in_progress' WHEN 2 THEN 'snoozed' WHEN 3 THEN 'ready_to_resume'
                 ELSE 'waiting_external' END
             WHEN ({G}) % 7 = 3 THEN 'cancelled' ELSE 'completed' END,
    snoozed_until = CASE WHEN ({G}) % 200 = 0 AND (({G}) / 200) % 5 = 2 THEN '{WAKE}' END,
    task_key = receipt_id || '-{C}::' || item_id,
    receipt_id = receipt_id || '-{C}';
UPDATE copy_tasks SET created_at = imported_at, updated_at = imported_at;
UPDATE copy_receipts SET
    imported_at = strftime('%Y-%m-%dT%H:%M:%fZ', '{BASE}', '-' || ({MINUTE} + rowid) ||
        ' minutes'),
    receipt_id = receipt_id || '-{C}';
UPDATE copy_receipts SET created_at = imported_at, updated_at = imported_at;
INSERT INTO receipts SELECT * FROM copy_receipts;
INSERT INTO tasks SELECT * FROM copy_tasks;
INSERT INTO step_progress (task_key, step_id, completed_at)
    SELECT task_key, 'step-1', imported_at FROM copy_tasks
        WHERE status IN ('in_progress', 'ready_to_resume') OR (status = 'completed' AND rowid % 2 = 0)
    UNION ALL
    SELECT task_key, 'step-2', imported_at FROM copy_tasks
        WHERE status = 'completed' AND rowid % 2 = 0;
)";

// A store written by a build of another schema is built again, not migrated:
// its rows must be what this build's import writes.
std::string markText(std::int64_t taskCount) {
    return std::string(layoutMark) + ", schema " +
           std::to_string(SQLiteTaskStore::currentSchemaVersion) + ", " +
           std::to_string(taskCount) + " tasks";
}

std::string firstLine(const fs::path& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

std::unique_ptr<SQLiteTaskStore> openStore(const fs::path& path) {
    auto store = SQLiteTaskStore::open(path);
    if (!store) throw std::runtime_error(store.error().description());
    return std::move(store).value();
}

}  // namespace

ScaleStoreBuilder::ScaleStoreBuilder(fs::path cacheDirectory)
    : cacheDirectory_(std::move(cacheDirectory)) {}

std::int64_t ScaleStoreBuilder::openTaskCount(std::int64_t taskCount) {
    return (taskCount + 199) / 200;
}

fs::path ScaleStoreBuilder::dataDirectory(std::int64_t taskCount, bool rebuild) const {
    const fs::path directory = cacheDirectory_ / ("tasks-" + std::to_string(taskCount));
    const fs::path mark = directory / "scale-store-layout";
    bool reusable = !rebuild && firstLine(mark) == markText(taskCount);
    if (reusable) {
        BulkConnection check(directory / "tasks.sqlite");
        reusable = check.integer("SELECT count(*) FROM tasks;") == taskCount;
    }
    if (!reusable) {
        const fs::path building = directory.string() + ".building";
        fs::remove_all(building);
        build(building, taskCount);
        fs::remove_all(directory);
        fs::rename(building, directory);
        std::ofstream(mark) << markText(taskCount) << "\n";
    }
    openStore(directory / "tasks.sqlite");
    return directory;
}

void ScaleStoreBuilder::build(const fs::path& directory, std::int64_t taskCount) const {
    const fs::path seeds = directory / "seeds" / "tasks.sqlite";
    {
        auto store = openStore(seeds);
        if (auto relaxed = store->relaxDurability(); !relaxed) {
            throw std::runtime_error(relaxed.error().description());
        }
        ReceiptImporter importer(*store);
        for (std::int64_t seed = 0; seed < seedReceiptCount; ++seed) {
            auto imported = importer.importData(seedReceipt(seed));
            if (!imported) throw std::runtime_error(imported.error().description());
        }
    }
    const fs::path database = directory / "tasks.sqlite";
    openStore(database);  // the schema, exactly as this build creates it

    BulkConnection bulk(database);
    // Nobody else has the file yet: no journal and no waiting for the disk.
    bulk.execute(
        "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; "
        "PRAGMA cache_size = -262144; PRAGMA temp_store = MEMORY;");
    bulk.execute("ATTACH DATABASE '" + seeds.string() + "' AS seed;");
    const std::int64_t seedTasks = bulk.integer("SELECT count(*) FROM seed.tasks;");
    const Timestamp now = currentTimestamp();
    const std::string base = kestrinISO8601(now);
    const std::string wake = kestrinISO8601(now + std::chrono::days(365));
    bulk.execute("BEGIN;");
    for (std::int64_t copy = 0; copy * seedTasks < taskCount; ++copy) {
        std::string sql(copyStatements);
        replaceAll(sql, "{LIMIT}", std::to_string(taskCount - copy * seedTasks));
        replaceAll(sql, "{MINUTE}", std::to_string(copy * seedReceiptCount));
        replaceAll(sql, "{G}", std::to_string(copy * seedTasks) + " + rowid - 1");
        replaceAll(sql, "{BASE}", base);
        replaceAll(sql, "{WAKE}", wake);
        replaceAll(sql, "{C}", std::to_string(copy));
        bulk.execute(sql);
    }
    bulk.execute("COMMIT; DETACH DATABASE seed; PRAGMA journal_mode = WAL;");
    fs::remove_all(seeds.parent_path());
}

}  // namespace kestrin

// Task store throughput.
//
// StoreImport* imports new 3-item receipts through SQLiteTaskStore with
// SQLite's default durable settings (WAL, synchronous FULL); ImportFloor* runs
// the same SQL statements with the same values straight through SQLite's C
// interface, statements prepared once and item JSON encoded beforehand, so the
// ratio of the two is the store's own overhead (aim: at most 1.5x).
// StoreListTasks10k lists 10,000 tasks again and again (aim: under 50 ms);
// StoreListTasks10kFirst is a fresh store's first listing. Their argument is
// the number of steps per item: 4 is a realistic item, 2 the earlier measure.
//
//   core_bench --benchmark_filter=Store --benchmark_repetitions=5

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/tools/TestReceipts.h"
#include "core/store/SQLiteTaskStore.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

// A fresh directory, removed with the object.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = std::filesystem::temp_directory_path() / "velmora-bench-XXXXXX";
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~ScratchDirectory() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

InterventionReceipt benchReceipt(std::int64_t index) {
    return makeReceipt("bench-" + std::to_string(index), 1,
                       {makeItem("a", TaskPriority::high, {"s1", "s2", "s3"}),
                        makeItem("b", TaskPriority::medium, {"s1", "s2"}),
                        makeItem("c", TaskPriority::low, {"s1"})});
}

void StoreImport(benchmark::State& state) {
    ScratchDirectory scratch;
    auto store = std::move(SQLiteTaskStore::open(scratch.path / "tasks.sqlite")).value();
    std::int64_t index = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto receipt = benchReceipt(index++);
        const std::string raw = rawJSON(receipt);
        const std::string hash = SQLiteTaskStore::hash(raw);
        state.ResumeTiming();
        auto result = store->importReceipt(receipt, raw, hash);
        if (!result) state.SkipWithError(result.error().description().c_str());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(StoreImport)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The statements importReceipt runs for a new receipt, in the same order.
class FloorImporter {
public:
    explicit FloorImporter(const std::filesystem::path& path) {
        sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr);
        sqlite3_busy_timeout(db_, 2000);
        sqlite3_exec(db_, "PRAGMA foreign_keys = ON; PRAGMA journal_mode = WAL;", nullptr, nullptr,
                     nullptr);
        selectMetadata_ =
            prepare("SELECT version, raw_hash FROM receipts WHERE receipt_id = ? LIMIT 1;");
        upsertReceipt_ = prepare(
            "INSERT INTO receipts (receipt_id, version, schema_version, project_name, "
            "project_path, "
            "agent, state, requires_user_action, summary, created_at, updated_at, imported_at, "
            "raw_hash, raw_json) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON "
            "CONFLICT(receipt_id) DO UPDATE SET version = excluded.version, schema_version = "
            "excluded.schema_version, project_name = excluded.project_name, project_path = "
            "excluded.project_path, agent = excluded.agent, state = excluded.state, "
            "requires_user_action = excluded.requires_user_action, summary = excluded.summary, "
            "created_at = excluded.created_at, updated_at = excluded.updated_at, imported_at = "
            "excluded.imported_at, raw_hash = excluded.raw_hash, raw_json = excluded.raw_json;");
        selectTaskKeys_ = prepare("SELECT task_key FROM tasks WHERE receipt_id = ?;");
        deleteTask_ = prepare("DELETE FROM tasks WHERE task_key = ?;");
        upsertTask_ = prepare(
            "INSERT INTO tasks (task_key, receipt_id, item_id, receipt_version, project_name, "
            "project_path, agent, receipt_state, source_task_title, source_task_id, "
            "source_locator, "
            "receipt_summary, category, priority, item_json, created_at, updated_at, imported_at, "
            "status, snoozed_until) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
            "?, "
            "?) ON CONFLICT(task_key) DO UPDATE SET receipt_version = excluded.receipt_version, "
            "project_name = excluded.project_name, project_path = excluded.project_path, agent = "
            "excluded.agent, receipt_state = excluded.receipt_state, source_task_title = "
            "excluded.source_task_title, source_task_id = excluded.source_task_id, source_locator "
            "= excluded.source_locator, receipt_summary = excluded.receipt_summary, category = "
            "excluded.category, priority = excluded.priority, item_json = excluded.item_json, "
            "created_at = excluded.created_at, updated_at = excluded.updated_at, imported_at = "
            "excluded.imported_at, status = 'pending', snoozed_until = NULL;");
        selectStepIDs_ = prepare("SELECT step_id FROM step_progress WHERE task_key = ?;");
    }

    ~FloorImporter() {
        for (auto* statement : {selectMetadata_, upsertReceipt_, selectTaskKeys_, deleteTask_,
                                upsertTask_, selectStepIDs_}) {
            sqlite3_finalize(statement);
        }
        sqlite3_close(db_);
    }

    // `itemJSON` holds the encoded items, in item order.
    bool import(const InterventionReceipt& r, const std::string& raw, const std::string& hash,
                const std::vector<std::string>& itemJSON) {
        readAll(selectMetadata_, r.receiptId);
        if (sqlite3_exec(db_, "BEGIN IMMEDIATE TRANSACTION;", nullptr, nullptr, nullptr) !=
            SQLITE_OK) {
            return false;
        }
        readAll(selectMetadata_, r.receiptId);
        const std::string now = kestrinISO8601(currentTimestamp());
        const std::string created = kestrinISO8601(r.createdAt);
        const std::string updated = kestrinISO8601(r.updatedAt);
        const std::string agent(rawValue(r.source.agent));
        const std::string state(rawValue(r.state));
        bindText(upsertReceipt_, 1, r.receiptId);
        sqlite3_bind_int64(upsertReceipt_, 2, r.version);
        bindText(upsertReceipt_, 3, r.schemaVersion);
        bindText(upsertReceipt_, 4, r.project.name);
        bindText(upsertReceipt_, 5, r.project.path);
        bindText(upsertReceipt_, 6, agent);
        bindText(upsertReceipt_, 7, state);
        sqlite3_bind_int64(upsertReceipt_, 8, r.requiresUserAction ? 1 : 0);
        bindText(upsertReceipt_, 9, r.summary);
        bindText(upsertReceipt_, 10, created);
        bindText(upsertReceipt_, 11, updated);
        bindText(upsertReceipt_, 12, now);
        bindText(upsertReceipt_, 13, hash);
        bindText(upsertReceipt_, 14, raw);
        bool ok = write(upsertReceipt_);
        readAll(selectTaskKeys_, r.receiptId);
        for (std::size_t i = 0; ok && i < r.items.size(); ++i) {
            const auto& item = r.items[i];
            const std::string key = r.receiptId + "::" + item.id;
            bindText(upsertTask_, 1, key);
            bindText(upsertTask_, 2, r.receiptId);
            bindText(upsertTask_, 3, item.id);
            sqlite3_bind_int64(upsertTask_, 4, r.version);
            bindText(upsertTask_, 5, r.project.name);
            bindText(upsertTask_, 6, r.project.path);
            bindText(upsertTask_, 7, agent);
            bindText(upsertTask_, 8, state);
            bindText(upsertTask_, 9, r.source.taskTitle);
            bindText(upsertTask_, 10, r.source.taskId.value_or(""));
            sqlite3_bind_null(upsertTask_, 11);
            bindText(upsertTask_, 12, r.summary);
            bindText(upsertTask_, 13, std::string(rawValue(item.category)));
            bindText(upsertTask_, 14, std::string(rawValue(item.priority)));
            bindText(upsertTask_, 15, itemJSON[i]);
            bindText(upsertTask_, 16, created);
            bindText(upsertTask_, 17, updated);
            bindText(upsertTask_, 18, now);
            bindText(upsertTask_, 19, "pending");
            sqlite3_bind_null(upsertTask_, 20);
            ok = write(upsertTask_);
            readAll(selectStepIDs_, key);
        }
        return sqlite3_exec(db_, ok ? "COMMIT;" : "ROLLBACK;", nullptr, nullptr, nullptr) ==
                   SQLITE_OK &&
               ok;
    }

private:
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr);
        return statement;
    }
    static void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
        sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
    }
    static bool write(sqlite3_stmt* statement) {
        const bool done = sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        return done;
    }
    static void readAll(sqlite3_stmt* statement, const std::string& key) {
        bindText(statement, 1, key);
        while (sqlite3_step(statement) == SQLITE_ROW)
            benchmark::DoNotOptimize(sqlite3_column_text(statement, 0));
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }

    sqlite3* db_ = nullptr;
    sqlite3_stmt* selectMetadata_ = nullptr;
    sqlite3_stmt* upsertReceipt_ = nullptr;
    sqlite3_stmt* selectTaskKeys_ = nullptr;
    sqlite3_stmt* deleteTask_ = nullptr;
    sqlite3_stmt* upsertTask_ = nullptr;
    sqlite3_stmt* selectStepIDs_ = nullptr;
};

void ImportFloor(benchmark::State& state) {
    ScratchDirectory scratch;
    const auto path = scratch.path / "tasks.sqlite";
    // The store creates the schema; the floor then writes on its own connection.
    { auto schema = SQLiteTaskStore::open(path); }
    FloorImporter floor(path);
    const auto encoder = ReceiptJSON::makeEncoder(false);
    std::int64_t index = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto receipt = benchReceipt(index++);
        const std::string raw = rawJSON(receipt);
        const std::string hash = SQLiteTaskStore::hash(raw);
        std::vector<std::string> items;
        for (auto item : receipt.items) {
            item.payloadVersion = InterventionItem::currentPayloadVersion;
            items.push_back(encoder.encode(item));
        }
        state.ResumeTiming();
        if (!floor.import(receipt, raw, hash, items)) state.SkipWithError("floor import failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ImportFloor)->Unit(benchmark::kMicrosecond)->UseRealTime();

// 2,500 receipts of 4 items of `stepCount` steps each, priorities and statuses
// mixed, some ticks: written in one transaction by cloning one imported
// receipt's rows.
void fillWith10kTasks(const std::filesystem::path& path, std::int64_t stepCount) {
    auto store = std::move(SQLiteTaskStore::open(path)).value();
    std::vector<std::string> stepIDs;
    for (std::int64_t step = 1; step <= stepCount; ++step) {
        // Appended rather than "s" + ..., which trips a false GCC 12 warning.
        stepIDs.emplace_back("s").append(std::to_string(step));
    }
    auto seed = makeReceipt(
        "seed", 1,
        {makeItem("a", TaskPriority::critical, stepIDs), makeItem("b", TaskPriority::high, stepIDs),
         makeItem("c", TaskPriority::medium, stepIDs), makeItem("d", TaskPriority::low, stepIDs)});
    const std::string raw = rawJSON(seed);
    (void)store->importReceipt(seed, raw, SQLiteTaskStore::hash(raw));
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, R"(
        BEGIN IMMEDIATE TRANSACTION;
        WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2499)
        INSERT INTO receipts SELECT 'r' || i, version, schema_version, project_name, project_path,
            agent, state, requires_user_action, summary, created_at, updated_at,
            strftime('%Y-%m-%dT%H:%M:%fZ', 'now', '-' || i || ' seconds'), raw_hash, raw_json
        FROM receipts, n WHERE receipt_id = 'seed';
        INSERT INTO tasks SELECT r.receipt_id || '::' || t.item_id, r.receipt_id, t.item_id,
            t.receipt_version, t.project_name, t.project_path, t.agent, t.receipt_state,
            t.source_task_title, t.source_task_id, t.source_locator, t.receipt_summary, t.category,
            t.priority, t.item_json, t.created_at, t.updated_at, r.imported_at,
            CASE abs(random()) % 5 WHEN 0 THEN 'completed' WHEN 1 THEN 'in_progress'
                ELSE 'pending' END, NULL
        FROM receipts r, tasks t WHERE t.receipt_id = 'seed' AND r.receipt_id != 'seed';
        INSERT INTO step_progress SELECT task_key, 's1', imported_at FROM tasks
            WHERE status != 'pending';
        COMMIT;)",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void listOnce(benchmark::State& state, SQLiteTaskStore& store) {
    auto tasks = store.listTasks(true, currentTimestamp());
    if (!tasks || tasks->size() != 10000) state.SkipWithError("listing failed");
    benchmark::DoNotOptimize(tasks);
}

// The listing the app repeats every few seconds. The first listing, which
// decodes every item, stays out of the timing: with the few iterations a
// 10,000-task listing gets, it would weigh in every repetition's mean.
void StoreListTasks10k(benchmark::State& state) {
    ScratchDirectory scratch;
    fillWith10kTasks(scratch.path / "tasks.sqlite", state.range(0));
    auto store = std::move(SQLiteTaskStore::open(scratch.path / "tasks.sqlite")).value();
    listOnce(state, *store);
    for (auto _ : state) listOnce(state, *store);
}
BENCHMARK(StoreListTasks10k)->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first listing of a freshly opened store, which decodes every item.
void StoreListTasks10kFirst(benchmark::State& state) {
    ScratchDirectory scratch;
    fillWith10kTasks(scratch.path / "tasks.sqlite", state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::move(SQLiteTaskStore::open(scratch.path / "tasks.sqlite")).value();
        state.ResumeTiming();
        listOnce(state, *store);
    }
}
BENCHMARK(StoreListTasks10kFirst)->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

#include "core/store/SQLiteTaskStore.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <exception>
#include <system_error>
#include <utility>

#include "core/support/SHA256Digest.h"
#include "core/store/SQLiteTransaction.h"
#include "core/support/UTF8.h"

namespace kestrin {

namespace {

constexpr int busyTimeoutMilliseconds = 2000;

constexpr const char* createReceiptsTable = R"(CREATE TABLE IF NOT EXISTS receipts (
    receipt_id TEXT PRIMARY KEY,
    version INTEGER NOT NULL,
    schema_version TEXT NOT NULL,
    project_name TEXT NOT NULL,
    project_path TEXT NOT NULL,
    agent TEXT NOT NULL,
    state TEXT NOT NULL,
    requires_user_action INTEGER NOT NULL,
    summary TEXT NOT NULL,
    created_at TEXT NOT NULL,
    updated_at TEXT NOT NULL,
    imported_at TEXT NOT NULL,
    raw_hash TEXT NOT NULL,
    raw_json TEXT NOT NULL
);)";

constexpr const char* createTasksTable = R"(CREATE TABLE IF NOT EXISTS tasks (
    task_key TEXT PRIMARY KEY,
    receipt_id TEXT NOT NULL REFERENCES receipts(receipt_id) ON DELETE CASCADE,
    item_id TEXT NOT NULL,
    receipt_version INTEGER NOT NULL,
    project_name TEXT NOT NULL,
    project_path TEXT NOT NULL,
    agent TEXT NOT NULL,
    receipt_state TEXT NOT NULL,
    source_task_title TEXT NOT NULL,
    source_task_id TEXT,
    source_locator TEXT,
    receipt_summary TEXT NOT NULL,
    category TEXT NOT NULL,
    priority TEXT NOT NULL,
    item_json TEXT NOT NULL,
    created_at TEXT NOT NULL,
    updated_at TEXT NOT NULL,
    imported_at TEXT NOT NULL,
    status TEXT NOT NULL DEFAULT 'pending',
    snoozed_until TEXT
);)";

constexpr const char* createStepProgressTable = R"(CREATE TABLE IF NOT EXISTS step_progress (
    task_key TEXT NOT NULL REFERENCES tasks(task_key) ON DELETE CASCADE,
    step_id TEXT NOT NULL,
    completed_at TEXT NOT NULL,
    PRIMARY KEY (task_key, step_id)
);)";

// Added after version 1 without raising user_version: a file with it still
// opens in an older build, which simply never reads it.
constexpr const char* createTaskNotesTable = R"(CREATE TABLE IF NOT EXISTS task_notes (
    task_key TEXT PRIMARY KEY REFERENCES tasks(task_key) ON DELETE CASCADE,
    text TEXT NOT NULL,
    updated_at TEXT NOT NULL
);)";

constexpr const char* createIndexes[] = {
    "CREATE INDEX IF NOT EXISTS idx_tasks_status ON tasks(status);",
    "CREATE INDEX IF NOT EXISTS idx_tasks_project ON tasks(project_name);",
    "CREATE INDEX IF NOT EXISTS idx_tasks_receipt ON tasks(receipt_id);",
};

// How a listing ranks priorities; unknown or odd values rank last. The
// listing indexes below are built on this very expression, so a query that
// orders by it reads them in order instead of sorting.
constexpr const char* priorityRank =
    "CASE priority WHEN 'critical' THEN 0 WHEN 'high' THEN 1 WHEN 'medium' THEN 2 ELSE 3 END";

constexpr const char* selectReceiptMetadata =
    "SELECT version, raw_hash FROM receipts WHERE receipt_id = ? LIMIT 1;";

constexpr const char* upsertReceiptSQL =
    "INSERT INTO receipts (receipt_id, version, schema_version, project_name, project_path, "
    "agent, state, requires_user_action, summary, created_at, updated_at, imported_at, raw_hash, "
    "raw_json) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
    "ON CONFLICT(receipt_id) DO UPDATE SET "
    "version = excluded.version, "
    "schema_version = excluded.schema_version, "
    "project_name = excluded.project_name, "
    "project_path = excluded.project_path, "
    "agent = excluded.agent, "
    "state = excluded.state, "
    "requires_user_action = excluded.requires_user_action, "
    "summary = excluded.summary, "
    "created_at = excluded.created_at, "
    "updated_at = excluded.updated_at, "
    "imported_at = excluded.imported_at, "
    "raw_hash = excluded.raw_hash, "
    "raw_json = excluded.raw_json;";

constexpr const char* upsertTaskSQL =
    "INSERT INTO tasks (task_key, receipt_id, item_id, receipt_version, project_name, "
    "project_path, agent, receipt_state, source_task_title, source_task_id, source_locator, "
    "receipt_summary, category, priority, item_json, created_at, updated_at, imported_at, status, "
    "snoozed_until) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
    "ON CONFLICT(task_key) DO UPDATE SET "
    "receipt_version = excluded.receipt_version, "
    "project_name = excluded.project_name, "
    "project_path = excluded.project_path, "
    "agent = excluded.agent, "
    "receipt_state = excluded.receipt_state, "
    "source_task_title = excluded.source_task_title, "
    "source_task_id = excluded.source_task_id, "
    "source_locator = excluded.source_locator, "
    "receipt_summary = excluded.receipt_summary, "
    "category = excluded.category, "
    "priority = excluded.priority, "
    "item_json = excluded.item_json, "
    "created_at = excluded.created_at, "
    "updated_at = excluded.updated_at, "
    "imported_at = excluded.imported_at, "
    "status = 'pending', "
    "snoozed_until = NULL;";

constexpr const char* selectTaskKeysOfReceipt = "SELECT task_key FROM tasks WHERE receipt_id = ?;";
constexpr const char* deleteTaskSQL = "DELETE FROM tasks WHERE task_key = ?;";
constexpr const char* selectStepIDs = "SELECT step_id FROM step_progress WHERE task_key = ?;";
constexpr const char* deleteStepSQL =
    "DELETE FROM step_progress WHERE task_key = ? AND step_id = ?;";

// "2026-07-27T08:30:00.000Z"
constexpr std::size_t writtenTimestampLength = 24;

// Column order of every task query; queryTasks reads by these positions.
constexpr const char* taskColumns =
    "SELECT task_key, receipt_id, receipt_version, project_name, project_path,\n"
    "agent, receipt_state, source_task_title, source_task_id, source_locator,\n"
    "receipt_summary, item_json, created_at, updated_at, imported_at, status, snoozed_until\n";

enum TaskColumn {
    taskKeyColumn,
    receiptIDColumn,
    receiptVersionColumn,
    projectNameColumn,
    projectPathColumn,
    agentColumn,
    receiptStateColumn,
    sourceTaskTitleColumn,
    sourceTaskIDColumn,
    sourceLocatorColumn,
    receiptSummaryColumn,
    itemJSONColumn,
    createdAtColumn,
    updatedAtColumn,
    importedAtColumn,
    statusColumn,
    snoozedUntilColumn,
    priorityRankColumn,  // listings only
    rowIDColumn          // listings only
};

// Column order of the summaries' query (listTaskSummaries).
namespace Summary {
enum Column {
    taskKey,
    status,
    projectName,
    agent,
    sourceTaskTitle,
    category,
    importedAt,
    snoozedUntil,
    readable,
    title,
    reason,
    stepCount,
    tickCount,
    priorityRank,
    rowID
};
}  // namespace Summary

SQLValue timestampValue(Timestamp instant) {
    return SQLValue::text(kestrinISO8601(instant));
}

// Open tasks: the three ranges around the two closed statuses.
static_assert(rawValue(TaskStatus::cancelled) < rawValue(TaskStatus::completed));
constexpr const char* openTasksCondition =
    "(status < 'cancelled' OR (status > 'cancelled' AND status < 'completed') OR "
    "status > 'completed')";

// Where a row goes in a listing, read from its row: its priority rank, its
// imported_at text (a slice of one string shared by all rows, so a listing
// allocates once), its row and its place in the scan. Text in the written
// form (parsed, 24 characters) sorts as its instant does, which is compared
// far faster.
struct ListingPosition {
    std::int64_t priorityRank;
    std::optional<Timestamp> writtenImportedAt;
    std::size_t importedAtOffset;
    std::size_t importedAtLength;
    std::int64_t rowID;
    std::size_t index;
};

// The listing order: by priority rank, then imported_at compared as SQLite
// compares text (byte by byte), newest first; ties (the items of one
// receipt) in the order of their rows, whichever index the scan went through.
// Gives, for each place in the listing, the index of the row that goes there.
std::vector<std::size_t> listingOrder(std::vector<ListingPosition>& positions,
                                      std::string_view importedAtTexts) {
    const auto importedAt = [&](const ListingPosition& position) {
        return importedAtTexts.substr(position.importedAtOffset, position.importedAtLength);
    };
    std::sort(positions.begin(), positions.end(),
              [&](const ListingPosition& a, const ListingPosition& b) {
                  if (a.priorityRank != b.priorityRank) return a.priorityRank < b.priorityRank;
                  if (a.writtenImportedAt && b.writtenImportedAt) {
                      if (*a.writtenImportedAt != *b.writtenImportedAt) {
                          return *a.writtenImportedAt > *b.writtenImportedAt;
                      }
                  } else if (importedAt(a) != importedAt(b)) {
                      return importedAt(a) > importedAt(b);
                  }
                  return a.rowID < b.rowID;
              });
    std::vector<std::size_t> order;
    order.reserve(positions.size());
    for (const auto& position : positions) order.push_back(position.index);
    return order;
}

// The columns of a listing's position in a statement.
struct ListingColumns {
    int priorityRank;
    int importedAt;
    int rowID;
};

// The position of a statement's current row, the `index`th read; `instant` is
// its imported_at already parsed, if the caller has it.
ListingPosition listingPosition(const SQLiteStatement& row, ListingColumns columns,
                                std::size_t index, std::optional<Timestamp> instant,
                                std::string& importedAtTexts) {
    const auto importedAt = row.textView(columns.importedAt);
    const bool written = importedAt.size() == writtenTimestampLength;
    if (written && !instant) instant = parseKestrinISO8601(importedAt);
    ListingPosition position{row.integer(columns.priorityRank),
                             written ? instant : std::nullopt,
                             importedAtTexts.size(),
                             importedAt.size(),
                             row.integer(columns.rowID),
                             index};
    importedAtTexts += importedAt;
    return position;
}

// The WHERE clause of a selection (empty for every task) and its bindings.
// Open tasks are the three ranges around the two closed statuses rather than
// NOT IN, which SQLite answers only by reading every row: ranges are read from
// the status index, so a store of closed history costs nothing here.
std::pair<std::string, std::vector<SQLValue>> whereClause(const TaskSelection& selection) {
    std::vector<std::string> conditions;
    std::vector<SQLValue> bindings;
    if (selection.status) {
        conditions.emplace_back("status = ?");
        bindings.push_back(SQLValue::text(std::string(rawValue(*selection.status))));
    } else if (!selection.includeCompleted) {
        conditions.emplace_back(openTasksCondition);
    }
    if (selection.project) {
        conditions.emplace_back("project_name = ?");
        bindings.push_back(SQLValue::text(*selection.project));
    }
    std::string where;
    for (const std::string& condition : conditions) {
        where += (where.empty() ? "WHERE " : " AND ") + condition;
    }
    return {std::move(where), std::move(bindings)};
}

// "'a', 'b', ..." of every raw value of E.
template <typename E>
std::string rawValueList() {
    std::string list;
    for (const auto& c : allCases<E>()) {
        list += (list.empty() ? "'" : ", '") + std::string(c.rawValue) + "'";
    }
    return list;
}

// The rows a listing can read back, as far as SQL can tell without decoding.
// The unreadable-rows index is partial on the negation of exactly this text,
// which lets a count find the few unreadable rows without reading any row.
std::string readableRowCondition() {
    return "agent IN (" + rawValueList<AgentKind>() + ") AND receipt_state IN (" +
           rawValueList<ReceiptState>() + ") AND status IN (" + rawValueList<TaskStatus>() +
           ") AND CASE WHEN json_valid(item_json) THEN coalesce(json_extract(item_json, "
           "'$.payload_version'), 0) <= " +
           std::to_string(InterventionItem::currentPayloadVersion) + " ELSE 0 END";
}

// Indexes added after version 1, each created by open when missing: pages of
// a listing read in listing order (rowid, the last key, is implicit), counts
// that leave out unreadable rows read only those rows, the states of the open
// tasks are read from a small index of their own, waking snoozed tasks
// reads only the due ones (status leads that index so that SQLite prefers it
// to the status listing's), and the receipt history reads its newest
// receipts without sorting them all.
std::vector<std::string> laterIndexes() {
    const std::string order = std::string("(") + priorityRank + "), imported_at DESC";
    return {"CREATE INDEX IF NOT EXISTS idx_tasks_listing ON tasks(" + order + ");",
            "CREATE INDEX IF NOT EXISTS idx_tasks_status_listing ON tasks(status, " + order + ");",
            "CREATE INDEX IF NOT EXISTS idx_tasks_unreadable ON tasks(status) WHERE NOT (" +
                readableRowCondition() + ");",
            "CREATE INDEX IF NOT EXISTS idx_tasks_open ON tasks(" + order +
                ", task_key, receipt_version, status, snoozed_until) WHERE " + openTasksCondition +
                ";",
            "CREATE INDEX IF NOT EXISTS idx_tasks_snoozed ON tasks(status, snoozed_until) WHERE "
            "status = 'snoozed';",
            "CREATE INDEX IF NOT EXISTS idx_receipts_imported_at ON receipts(imported_at);"};
}

SQLValue optionalTextValue(const std::optional<std::string>& text) {
    return text ? SQLValue::text(*text) : SQLValue::null();
}

template <typename E>
SQLValue enumValue(E value) {
    return SQLValue::text(std::string(rawValue(value)));
}

// Rearranges `items` in place so that position i holds what was at order[i],
// moving each item once along the cycles of the permutation; `order` is used
// up (every entry ends as its own position).
template <typename T>
void permute(std::vector<T>& items, std::vector<std::size_t>& order) {
    for (std::size_t start = 0; start < items.size(); ++start) {
        if (order[start] == start) continue;
        T held = std::move(items[start]);
        std::size_t to = start;
        while (order[to] != start) {
            const std::size_t from = order[to];
            items[to] = std::move(items[from]);
            order[to] = to;
            to = from;
        }
        items[to] = std::move(held);
        order[to] = to;
    }
}

}  // namespace

SQLiteTaskStore::SQLiteTaskStore(std::filesystem::path path) : path_(std::move(path)) {}

SQLiteTaskStore::~SQLiteTaskStore() = default;

std::filesystem::path SQLiteTaskStore::standardizedPath(const std::filesystem::path& path) {
    std::error_code error;
    auto absolute = std::filesystem::absolute(path, error);
    return (error ? path : absolute).lexically_normal();
}

Result<std::unique_ptr<SQLiteTaskStore>, StoreError> SQLiteTaskStore::open(
    const std::filesystem::path& path) {
    std::unique_ptr<SQLiteTaskStore> store(new SQLiteTaskStore(standardizedPath(path)));

    // A directory-creation failure has no case of its own; it is reported as
    // the open failure it causes, with the system's reason.
    const auto directory = store->path_.parent_path();
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) return fail(StoreError::open(directory.string() + ": " + error.message()));

    auto connection = SQLiteConnection::open(store->path_, SQLiteConnection::Mode::readWriteCreate);
    if (!connection) return fail(connection.error());
    store->database_ = std::move(connection).value();
    store->database_.setBusyTimeout(busyTimeoutMilliseconds);

    if (auto done = store->execute("PRAGMA foreign_keys = ON;"); !done) return fail(done.error());
    // The version is checked before switching to WAL, because that switch
    // already writes the file header: a newer file must stay untouched.
    if (auto supported = store->needsMigration(); !supported) return fail(supported.error());
    if (auto done = store->database_.switchToWriteAheadLog(
            std::chrono::milliseconds(busyTimeoutMilliseconds));
        !done) {
        return fail(done.error());
    }
    if (auto done = store->migrate(); !done) return fail(done.error());
    return store;
}

Result<std::unique_ptr<SQLiteTaskStore>, StoreError> SQLiteTaskStore::openForReading(
    const std::filesystem::path& path) {
    std::unique_ptr<SQLiteTaskStore> store(new SQLiteTaskStore(standardizedPath(path)));
    auto connection = SQLiteConnection::open(store->path_, SQLiteConnection::Mode::readWrite);
    if (!connection) return fail(connection.error());
    store->database_ = std::move(connection).value();
    store->database_.setBusyTimeout(busyTimeoutMilliseconds);
    return store;
}

Result<void, StoreError> SQLiteTaskStore::execute(const std::string& sql) {
    return database_.execute(sql);
}

Result<std::int64_t, StoreError> SQLiteTaskStore::pragmaInteger(std::string_view name) {
    return database_.pragmaInteger(name);
}

Result<bool, StoreError> SQLiteTaskStore::needsMigration() {
    auto version = pragmaInteger("user_version");
    if (!version) return fail(version.error());
    if (*version > currentSchemaVersion) {
        return fail(StoreError::unsupportedSchema(*version, currentSchemaVersion));
    }
    return *version < currentSchemaVersion;
}

Result<void, StoreError> SQLiteTaskStore::migrate() {
    auto needed = needsMigration();
    if (!needed) return fail(needed.error());
    if (*needed) {
        if (auto done = migrateUnderWriteLock(); !done) return done;
    }
    // Also after a restore copied in a file written before the notes or the
    // later indexes existed. Asked first, then created under the write lock:
    // processes that open a file together then wait for each other instead of
    // failing as locked.
    auto statement = database_.prepare(
        "SELECT EXISTS (SELECT 1 FROM sqlite_master WHERE name = 'task_notes'), "
        "(SELECT count(*) FROM sqlite_master WHERE name IN ('idx_tasks_listing', "
        "'idx_tasks_status_listing', 'idx_tasks_unreadable', 'idx_tasks_open', "
        "'idx_tasks_snoozed', 'idx_receipts_imported_at')) = 6;");
    if (!statement) return fail(statement.error());
    if (!statement->next()) return fail(StoreError::sqlite(database_.errorMessage()));
    const bool hasNotes = statement->integer(0) == 1;
    const bool hasIndexes = statement->integer(1) == 1;
    // Its read transaction ends before the write lock is asked for.
    statement->reset();
    if (!hasNotes) {
        if (auto done = underWriteLock({createTaskNotesTable}); !done) return done;
    }
    // The indexes only make reading faster, and indexing a long history takes
    // seconds, once: a file that cannot take them now (another program holds
    // the write lock, perhaps building them; a foreign table; a full disk)
    // still opens, and the next open tries again.
    static const std::vector<std::string> indexes = laterIndexes();
    if (!hasIndexes) (void)underWriteLock(indexes);
    return {};
}

Result<void, StoreError> SQLiteTaskStore::underWriteLock(
    const std::vector<std::string>& statements) {
    auto transaction = SQLiteTransaction::begin(database_);
    if (!transaction) return fail(transaction.error());
    for (const std::string& sql : statements) {
        if (auto done = execute(sql); !done) return done;
    }
    return transaction->commit();
}

Result<void, StoreError> SQLiteTaskStore::migrateUnderWriteLock() {
    auto transaction = SQLiteTransaction::begin(database_);
    if (!transaction) return fail(transaction.error());
    // Asked again under the write lock: another process may have migrated
    // the file meanwhile, perhaps a newer build beyond this one's version.
    auto needed = needsMigration();
    if (!needed) return fail(needed.error());
    if (!*needed) return {};
    if (auto done = migrateToVersion1(); !done) return done;
    if (auto done = execute("PRAGMA user_version = 1;"); !done) return done;
    return transaction->commit();
}

Result<void, StoreError> SQLiteTaskStore::migrateToVersion1() {
    for (const char* sql : {createReceiptsTable, createTasksTable, createStepProgressTable}) {
        if (auto done = execute(sql); !done) return done;
    }
    for (const char* sql : createIndexes) {
        if (auto done = execute(sql); !done) return done;
    }
    return {};
}

std::int64_t SQLiteTaskStore::schemaVersion() {
    std::scoped_lock guard(lock_);
    auto version = pragmaInteger("user_version");
    return version ? *version : 0;
}

std::int64_t SQLiteTaskStore::lastSkippedTaskRowCount() const {
    std::scoped_lock guard(lock_);
    return lastSkippedTaskRowCount_;
}

std::string SQLiteTaskStore::hash(std::string_view data) {
    return SHA256Digest::hex(data);
}

void SQLiteTaskStore::setImportFaultHook(ImportFaultHook hook) {
    std::scoped_lock guard(lock_);
    importFaultHook_ = std::move(hook);
}

Result<void, StoreError> SQLiteTaskStore::injectFault(ImportStage stage) {
    if (!importFaultHook_) return {};
    return importFaultHook_(stage);
}

// MARK: - Import

Result<std::optional<SQLiteTaskStore::ReceiptMetadata>, StoreError>
SQLiteTaskStore::receiptMetadata(const std::string& receiptID) {
    auto statement = database_.prepare(selectReceiptMetadata);
    if (!statement) return fail(statement.error());
    if (auto bound = statement->bind(1, SQLValue::text(receiptID)); !bound) {
        return fail(bound.error());
    }
    if (!statement->next()) {
        // A failed read must not pass for "not stored": the import would then
        // overwrite whatever version is there.
        if (auto done = statement->finished(); !done) return fail(done.error());
        return std::optional<ReceiptMetadata>{};
    }
    return std::optional<ReceiptMetadata>{
        ReceiptMetadata{statement->integer(0), statement->text(1)}};
}

Result<StoreImportResult, StoreError> SQLiteTaskStore::importReceipt(
    const InterventionReceipt& receipt, std::string_view rawData, const std::string& rawHash) {
    std::scoped_lock guard(lock_);

    // The pre-check answers repeats and old versions without taking the write
    // lock; the decision that counts is taken again inside the transaction.
    auto stored = receiptMetadata(receipt.receiptId);
    if (!stored) return fail(stored.error());
    if (*stored) {
        const auto& [version, storedHash] = **stored;
        if (version > receipt.version) return StoreImportResult::stale(version);
        if (version == receipt.version) {
            return storedHash == rawHash ? StoreImportResult::duplicate()
                                         : StoreImportResult::versionConflict();
        }
    }

    if (!isValidUTF8(rawData)) return fail(StoreError::decode("回执文件不是 UTF-8 文本。"));
    const std::string rawJSON(rawData);

    if (auto injected = injectFault(ImportStage::beforeTransaction); !injected) {
        return fail(injected.error());
    }
    auto transaction = SQLiteTransaction::begin(database_);
    if (!transaction) return fail(transaction.error());

    // Under the write lock: another process may have stored this receipt
    // since the pre-check.
    auto current = receiptMetadata(receipt.receiptId);
    if (!current) return fail(current.error());
    std::optional<std::int64_t> previousVersion;
    if (*current) {
        const auto& [version, storedHash] = **current;
        if (version > receipt.version) return StoreImportResult::stale(version);
        if (version == receipt.version) {
            // The same bytes arriving by two roads at once are a repeat, not a
            // conflict; only a different document is refused.
            if (storedHash == rawHash) return StoreImportResult::duplicate();
            return fail(StoreError::versionConflictUnderLock(version, receipt.receiptId));
        }
        // What is replaced is what the transaction sees, which may be newer
        // than what the pre-check saw.
        previousVersion = version;
    }

    const Timestamp importedAt = currentTimestamp();
    if (auto done = upsertReceipt(receipt, rawJSON, rawHash, importedAt); !done) {
        return fail(done.error());
    }
    if (auto injected = injectFault(ImportStage::receiptWritten); !injected) {
        return fail(injected.error());
    }
    if (auto done = upsertTasks(receipt, importedAt); !done) return fail(done.error());
    if (auto injected = injectFault(ImportStage::beforeCommit); !injected) {
        return fail(injected.error());
    }
    if (auto committed = transaction->commit(); !committed) return fail(committed.error());

    const auto taskCount = static_cast<std::int64_t>(receipt.items.size());
    if (taskCount == 0) return StoreImportResult::noAction();
    if (previousVersion) return StoreImportResult::updated(taskCount, *previousVersion);
    return StoreImportResult::inserted(taskCount);
}

Result<void, StoreError> SQLiteTaskStore::upsertReceipt(const InterventionReceipt& receipt,
                                                        const std::string& rawJSON,
                                                        const std::string& rawHash,
                                                        Timestamp importedAt) {
    return database_.run(upsertReceiptSQL,
                         {
                             SQLValue::text(receipt.receiptId),
                             SQLValue::integer(receipt.version),
                             SQLValue::text(receipt.schemaVersion),
                             SQLValue::text(receipt.project.name),
                             SQLValue::text(receipt.project.path),
                             enumValue(receipt.source.agent),
                             enumValue(receipt.state),
                             SQLValue::integer(receipt.requiresUserAction ? 1 : 0),
                             SQLValue::text(receipt.summary),
                             timestampValue(receipt.createdAt),
                             timestampValue(receipt.updatedAt),
                             timestampValue(importedAt),
                             SQLValue::text(rawHash),
                             SQLValue::text(rawJSON),
                         });
}

Result<std::set<std::string>, StoreError> SQLiteTaskStore::taskKeys(const std::string& receiptID) {
    auto statement = database_.prepare(selectTaskKeysOfReceipt);
    if (!statement) return fail(statement.error());
    if (auto bound = statement->bind(1, SQLValue::text(receiptID)); !bound) {
        return fail(bound.error());
    }
    std::set<std::string> keys;
    while (statement->next()) keys.insert(statement->text(0));
    if (auto done = statement->finished(); !done) return fail(done.error());
    return keys;
}

Result<void, StoreError> SQLiteTaskStore::upsertTasks(const InterventionReceipt& receipt,
                                                      Timestamp importedAt) {
    auto existing = taskKeys(receipt.receiptId);
    if (!existing) return fail(existing.error());

    std::set<std::string> newKeys;
    for (const auto& item : receipt.items) newKeys.insert(receipt.receiptId + "::" + item.id);

    // The set is ordered, so obsolete keys go in ascending order.
    {
        auto remove = database_.prepare(deleteTaskSQL);
        if (!remove) return fail(remove.error());
        for (const auto& key : *existing) {
            if (newKeys.contains(key)) continue;
            remove->reset();
            if (auto bound = remove->bind(1, SQLValue::text(key)); !bound) return bound;
            if (auto done = remove->run(); !done) return done;
        }
    }

    for (const auto& item : receipt.items) {
        const std::string taskKey = receipt.receiptId + "::" + item.id;
        if (auto owned = refuseForeignTaskKey(taskKey, receipt.receiptId); !owned) return owned;

        InterventionItem stamped = item;
        stamped.payloadVersion = InterventionItem::currentPayloadVersion;
        const std::string encodeFailure = "无法编码事项 " + item.id + "。";
        std::string itemJSON;
        try {
            itemJSON = encoder_.encode(stamped);
        } catch (const std::exception&) {
            // The JSON library refuses to write text that is not UTF-8.
            return fail(StoreError::encode(encodeFailure));
        }
        if (!isValidUTF8(itemJSON)) return fail(StoreError::encode(encodeFailure));

        auto written = database_.run(upsertTaskSQL, {
                                                        SQLValue::text(taskKey),
                                                        SQLValue::text(receipt.receiptId),
                                                        SQLValue::text(item.id),
                                                        SQLValue::integer(receipt.version),
                                                        SQLValue::text(receipt.project.name),
                                                        SQLValue::text(receipt.project.path),
                                                        enumValue(receipt.source.agent),
                                                        enumValue(receipt.state),
                                                        SQLValue::text(receipt.source.taskTitle),
                                                        optionalTextValue(receipt.source.taskId),
                                                        optionalTextValue(receipt.source.locator),
                                                        SQLValue::text(receipt.summary),
                                                        enumValue(item.category),
                                                        enumValue(item.priority),
                                                        SQLValue::text(itemJSON),
                                                        timestampValue(receipt.createdAt),
                                                        timestampValue(receipt.updatedAt),
                                                        timestampValue(importedAt),
                                                        SQLValue::text("pending"),
                                                        SQLValue::null(),
                                                    });
        if (!written) return written;

        std::set<std::string> stepIDs;
        for (const auto& step : item.steps) stepIDs.insert(step.id);
        if (auto done = removeUnknownStepProgress(taskKey, stepIDs); !done) return done;
        if (auto injected = injectFault(ImportStage::taskWritten); !injected) return injected;
    }
    return {};
}

// Identifiers may contain colons, so receipt "a::b" with item "c" and receipt
// "a" with item "b::c" make the same key. The upsert would then overwrite the
// other receipt's task with this item, so the import is refused instead.
Result<void, StoreError> SQLiteTaskStore::refuseForeignTaskKey(const std::string& taskKey,
                                                               const std::string& receiptID) {
    auto statement =
        database_.prepare("SELECT receipt_id FROM tasks WHERE task_key = ? AND receipt_id != ?;");
    if (!statement) return fail(statement.error());
    if (auto bound = statement->bind({SQLValue::text(taskKey), SQLValue::text(receiptID)});
        !bound) {
        return bound;
    }
    if (statement->next()) {
        return fail(StoreError::sqlite("任务 " + taskKey + " 已属于回执 " + statement->text(0) +
                                       "，无法写入回执 " + receiptID + " 的同名任务。"));
    }
    return statement->finished();
}

Result<void, StoreError> SQLiteTaskStore::removeUnknownStepProgress(
    const std::string& taskKey, const std::set<std::string>& validStepIDs) {
    std::vector<std::string> unknown;
    {
        auto statement = database_.prepare(selectStepIDs);
        if (!statement) return fail(statement.error());
        if (auto bound = statement->bind(1, SQLValue::text(taskKey)); !bound) return bound;
        while (statement->next()) {
            std::string stepID = statement->text(0);
            if (!validStepIDs.contains(stepID)) unknown.push_back(std::move(stepID));
        }
        if (auto done = statement->finished(); !done) return done;
    }
    for (const auto& stepID : unknown) {
        auto done = database_.run(deleteStepSQL, {SQLValue::text(taskKey), SQLValue::text(stepID)});
        if (!done) return done;
    }
    return {};
}

// MARK: - Queries

TaskRecord* SQLiteTaskStore::appendTaskRow(const SQLiteStatement& row,
                                           std::vector<TaskRecord>& tasks, bool cached) {
    const auto agent = fromRawValue<AgentKind>(row.textView(agentColumn));
    const auto receiptState = fromRawValue<ReceiptState>(row.textView(receiptStateColumn));
    // Built in place: moving 10,000 records about costs a listing time.
    TaskRecord& task = tasks.emplace_back();
    task.taskKey = row.text(taskKeyColumn);
    std::optional<InterventionItem> uncached;
    const InterventionItem* item = nullptr;
    if (agent && receiptState && cached) {
        item = storedItem(task.taskKey, row.textView(itemJSONColumn));
    } else if (agent && receiptState && (uncached = decodedItem(row.textView(itemJSONColumn)))) {
        item = &*uncached;
    }
    const auto createdAt = parseKestrinISO8601(row.textView(createdAtColumn));
    const auto updatedAt = parseKestrinISO8601(row.textView(updatedAtColumn));
    const auto importedAt = parseKestrinISO8601(row.textView(importedAtColumn));
    const auto status = fromRawValue<TaskStatus>(row.textView(statusColumn));
    if (!item || !createdAt || !updatedAt || !importedAt || !status) {
        tasks.pop_back();
        ++lastSkippedTaskRowCount_;
        return nullptr;
    }

    task.receiptID = row.text(receiptIDColumn);
    task.receiptVersion = row.integer(receiptVersionColumn);
    task.project = {row.text(projectNameColumn), row.text(projectPathColumn)};
    task.source = {*agent, row.text(sourceTaskTitleColumn), row.optionalText(sourceTaskIDColumn),
                   row.optionalText(sourceLocatorColumn)};
    task.receiptState = *receiptState;
    task.receiptSummary = row.text(receiptSummaryColumn);
    task.item = *item;
    task.createdAt = *createdAt;
    task.updatedAt = *updatedAt;
    task.importedAt = *importedAt;
    task.status = *status;
    // An unreadable wake-up time is dropped rather than losing the task.
    if (auto snoozed = row.optionalText(snoozedUntilColumn)) {
        task.snoozedUntil = parseKestrinISO8601(*snoozed);
    }
    return &task;
}

Result<std::vector<TaskRecord>, StoreError> SQLiteTaskStore::queryTasks(
    const std::string& sql, const std::vector<SQLValue>& bindings) {
    auto statement = database_.prepare(sql);
    if (!statement) return fail(statement.error());
    if (auto bound = statement->bind(bindings); !bound) return fail(bound.error());
    lastSkippedTaskRowCount_ = 0;
    auto stepStatement = database_.prepare(selectStepIDs);
    if (!stepStatement) return fail(stepStatement.error());

    std::vector<TaskRecord> tasks;
    while (statement->next()) {
        // Single rows are not kept in the listing's item cache, which only
        // a listing prunes.
        auto* task = appendTaskRow(*statement, tasks, false);
        if (!task) continue;
        auto steps = completedStepIDs(*stepStatement, task->taskKey);
        if (!steps) return fail(steps.error());
        task->completedStepIDs = std::move(steps).value();
    }
    if (auto done = statement->finished(); !done) return fail(done.error());
    return tasks;
}

Result<std::vector<TaskSummary>, StoreError> SQLiteTaskStore::listTaskSummaries(
    const TaskSelection& selection, Timestamp now) {
    std::scoped_lock guard(lock_);
    if (auto woken = wakeSnoozedTasks(now); !woken) return fail(woken.error());
    // Every row of the selection, so that one statement (one snapshot) both
    // lists the readable rows and counts the others. SQLite reads the item's
    // few fields itself; json_extract fails the whole statement on text that
    // is not JSON, hence the test. Read unsorted: asked to sort, SQLite walks
    // the whole listing index.
    static const std::string columns =
        "SELECT task_key, status, project_name, agent, source_task_title, category, imported_at, "
        "snoozed_until, " +
        readableRowCondition() +
        ", iif(json_valid(item_json), json_extract(item_json, '$.title'), NULL), "
        "iif(json_valid(item_json), json_extract(item_json, '$.reason'), NULL), "
        "iif(json_valid(item_json), json_array_length(item_json, '$.steps'), NULL), "
        "(SELECT count(*) FROM step_progress WHERE step_progress.task_key = tasks.task_key), " +
        priorityRank + ", rowid\n";
    const auto [where, bindings] = whereClause(selection);
    auto statement = database_.prepare(columns + "FROM tasks " + where + ";");
    if (!statement) return fail(statement.error());
    if (auto bound = statement->bind(bindings); !bound) return fail(bound.error());
    lastSkippedTaskRowCount_ = 0;
    std::vector<TaskSummary> summaries;
    std::vector<ListingPosition> positions;
    std::string importedAtTexts;
    while (statement->next()) {
        const auto status = fromRawValue<TaskStatus>(statement->textView(Summary::status));
        const auto agent = fromRawValue<AgentKind>(statement->textView(Summary::agent));
        const auto category =
            fromRawValue<InterventionCategory>(statement->textView(Summary::category));
        const auto importedAt = parseKestrinISO8601(statement->textView(Summary::importedAt));
        const auto title = statement->optionalText(Summary::title);
        const auto steps = statement->optionalText(Summary::stepCount);
        if (statement->integer(Summary::readable) == 0 || !status || !agent || !category ||
            !importedAt || !title || !steps) {
            ++lastSkippedTaskRowCount_;
            continue;
        }
        TaskSummary& summary = summaries.emplace_back();
        summary.taskKey = statement->text(Summary::taskKey);
        summary.status = *status;
        summary.projectName = statement->text(Summary::projectName);
        summary.agent = *agent;
        summary.sourceTaskTitle = statement->text(Summary::sourceTaskTitle);
        summary.title = *title;
        summary.reason = statement->text(Summary::reason);
        summary.category = *category;
        summary.importedAt = *importedAt;
        // An unreadable wake-up time is dropped, as a full listing drops it.
        if (auto snoozed = statement->optionalText(Summary::snoozedUntil)) {
            summary.snoozedUntil = parseKestrinISO8601(*snoozed);
        }
        summary.stepCount = std::size_t(statement->integer(Summary::stepCount));
        summary.completedStepCount = std::size_t(statement->integer(Summary::tickCount));
        positions.push_back(listingPosition(
            *statement, {Summary::priorityRank, Summary::importedAt, Summary::rowID},
            summaries.size() - 1, importedAt, importedAtTexts));
    }
    if (auto done = statement->finished(); !done) return fail(done.error());
    auto order = listingOrder(positions, importedAtTexts);
    permute(summaries, order);
    return summaries;
}

const InterventionItem* SQLiteTaskStore::storedItem(const std::string& taskKey,
                                                    std::string_view itemJSON) {
    auto cached = itemCache_.find(taskKey);
    if (cached != itemCache_.end() && cached->second.json == itemJSON) {
        cached->second.listing = listingCount_;
        return &cached->second.item;
    }
    auto decoded = decodedItem(itemJSON);
    if (!decoded) {
        if (cached != itemCache_.end()) itemCache_.erase(cached);
        return nullptr;
    }
    CachedItem entry{std::string(itemJSON), std::move(decoded).value(), listingCount_};
    if (cached == itemCache_.end())
        return &itemCache_.emplace(taskKey, std::move(entry)).first->second.item;
    cached->second = std::move(entry);
    return &cached->second.item;
}

std::optional<InterventionItem> SQLiteTaskStore::decodedItem(std::string_view itemJSON) const {
    auto decoded = decoder_.decodeItem(itemJSON);
    // An item written by a later layout may mean something this build
    // cannot show; it is skipped like an undecodable one.
    if (!decoded || (decoded->payloadVersion &&
                     *decoded->payloadVersion > InterventionItem::currentPayloadVersion)) {
        return std::nullopt;
    }
    return std::move(decoded).value();
}

Result<std::set<std::string>, StoreError> SQLiteTaskStore::completedStepIDs(
    SQLiteStatement& statement, const std::string& taskKey) {
    statement.reset();
    if (auto bound = statement.bind(1, SQLValue::text(taskKey)); !bound) return fail(bound.error());
    std::set<std::string> stepIDs;
    while (statement.next()) stepIDs.insert(statement.text(0));
    if (auto done = statement.finished(); !done) return fail(done.error());
    return stepIDs;
}

Result<std::unordered_map<std::string, std::set<std::string>>, StoreError>
SQLiteTaskStore::completedStepIDsOfTasks(const std::string& where,
                                         const std::vector<SQLValue>& bindings) {
    std::string sql = "SELECT task_key, step_id FROM step_progress";
    if (!where.empty()) sql += " WHERE task_key IN (SELECT task_key FROM tasks " + where + ")";
    auto statement = database_.prepare(sql + ";");
    if (!statement) return fail(statement.error());
    if (auto bound = statement->bind(bindings); !bound) return fail(bound.error());
    std::unordered_map<std::string, std::set<std::string>> stepIDs;
    while (statement->next()) stepIDs[statement->text(0)].insert(statement->text(1));
    if (auto done = statement->finished(); !done) return fail(done.error());
    return stepIDs;
}

Result<void, StoreError> SQLiteTaskStore::wakeSnoozedTasks(Timestamp now) {
    // The only place where snoozed tasks wake up. Text comparison orders
    // correctly because every stored timestamp has one fixed-width form.
    return database_.run(
        "UPDATE tasks SET status = 'pending', snoozed_until = NULL WHERE status = 'snoozed' AND "
        "snoozed_until IS NOT NULL AND snoozed_until <= ?;",
        {timestampValue(now)});
}

Result<std::vector<TaskRecord>, StoreError> SQLiteTaskStore::listTasks(
    const TaskSelection& selection, Timestamp now) {
    std::scoped_lock guard(lock_);
    if (auto woken = wakeSnoozedTasks(now); !woken) return fail(woken.error());

    // SQLite sorting whole rows spills the item JSON to temporary files; the
    // rows are read unsorted and only their keys are sorted here. SQLite still
    // ranks the priority, so unknown or odd values rank as its CASE does.
    const auto [where, bindings] = whereClause(selection);
    auto statement = database_.prepare(
        std::string(taskColumns) + ", " + priorityRank + ", rowid\nFROM tasks " + where + ";");
    if (!statement) return fail(statement.error());
    if (auto bound = statement->bind(bindings); !bound) return fail(bound.error());
    lastSkippedTaskRowCount_ = 0;
    ++listingCount_;

    std::vector<TaskRecord> tasks;
    std::vector<ListingPosition> positions;
    std::string importedAtTexts;
    // The previous listing's size is the likely size of this one.
    tasks.reserve(itemCache_.size());
    positions.reserve(itemCache_.size());
    std::optional<std::unordered_map<std::string, std::set<std::string>>> ticks;
    while (statement->next()) {
        auto* task = appendTaskRow(*statement, tasks);
        if (!task) continue;
        if (!ticks) {
            // Read while this statement holds its read transaction, so the
            // ticks are those of the rows being read.
            auto all = completedStepIDsOfTasks(where, bindings);
            if (!all) return fail(all.error());
            ticks = std::move(all).value();
        }
        if (auto found = ticks->find(task->taskKey); found != ticks->end()) {
            task->completedStepIDs = std::move(found->second);
        }
        positions.push_back(listingPosition(*statement,
                                            {priorityRankColumn, importedAtColumn, rowIDColumn},
                                            tasks.size() - 1, task->importedAt, importedAtTexts));
    }
    if (auto done = statement->finished(); !done) return fail(done.error());
    // Every listed task has its own entry, so when the sizes agree there is
    // nothing else to drop and the pass over the cache is saved.
    if (itemCache_.size() != tasks.size()) {
        std::erase_if(itemCache_,
                      [&](const auto& entry) { return entry.second.listing != listingCount_; });
    }

    auto order = listingOrder(positions, importedAtTexts);
    permute(tasks, order);
    return tasks;
}

Result<TaskPage, StoreError> SQLiteTaskStore::listTaskPage(const TaskSelection& selection,
                                                           std::int64_t from, std::size_t limit,
                                                           const TaskSearchFilter& filter,
                                                           std::int64_t rowLimit) {
    std::scoped_lock guard(lock_);
    auto [where, bindings] = whereClause(selection);
    const std::string order =
        std::string(" ORDER BY ") + priorityRank + ", imported_at DESC, rowid";
    // Without a filter SQLite passes over the rows before `from` in the index
    // alone. A filter walks the index for row ids only: a row's search fields
    // are read when the filter does not know it, the whole row when it matches.
    auto statement = database_.prepare(
        filter ? "SELECT rowid FROM tasks " + where + order + " LIMIT -1 OFFSET ?;"
               : std::string(taskColumns) + "FROM tasks " + where + order + " LIMIT ? OFFSET ?;");
    if (!statement) return fail(statement.error());
    if (!filter) bindings.push_back(SQLValue::integer(std::int64_t(limit)));
    bindings.push_back(SQLValue::integer(from));
    if (auto bound = statement->bind(bindings); !bound) return fail(bound.error());
    auto steps = database_.prepare(selectStepIDs);
    if (!steps) return fail(steps.error());
    std::optional<SQLiteStatement> fields;
    std::optional<SQLiteStatement> row;
    if (filter) {
        // json_extract fails the whole statement on text that is not JSON.
        auto prepared = database_.prepare(
            "SELECT iif(json_valid(item_json), json_extract(item_json, '$.title'), ''), "
            "iif(json_valid(item_json), json_extract(item_json, '$.reason'), ''), "
            "project_name, source_task_title, agent, category FROM tasks WHERE rowid = ?;");
        if (!prepared) return fail(prepared.error());
        fields = std::move(prepared).value();
        prepared = database_.prepare(std::string(taskColumns) + "FROM tasks WHERE rowid = ?;");
        if (!prepared) return fail(prepared.error());
        row = std::move(prepared).value();
    }

    TaskPage page{{}, from, false};
    bool ended = false;
    while (page.tasks.size() < limit && page.next - from < rowLimit) {
        if (!statement->next()) {
            ended = true;
            break;
        }
        ++page.next;
        const SQLiteStatement* taskRow = &*statement;
        if (filter) {
            const std::int64_t rowID = statement->integer(0);
            auto matched = filterRow(filter, *fields, rowID);
            if (!matched) return fail(matched.error());
            if (!*matched) continue;
            // Read while the listing statement holds its read transaction.
            row->reset();
            if (auto bound = row->bind(1, SQLValue::integer(rowID)); !bound) {
                return fail(bound.error());
            }
            if (!row->next()) {
                if (auto done = row->finished(); !done) return fail(done.error());
                continue;
            }
            taskRow = &*row;
        }
        auto* task = appendTaskRow(*taskRow, page.tasks, false);
        if (!task) continue;
        auto ticked = completedStepIDs(*steps, task->taskKey);
        if (!ticked) return fail(ticked.error());
        task->completedStepIDs = std::move(ticked).value();
    }
    if (ended) {
        if (auto done = statement->finished(); !done) return fail(done.error());
        // A LIMIT without a filter also ends the rows: only fewer rows than
        // asked for mean the listing ran out.
        page.isLast = bool(filter) || page.next - from < std::int64_t(limit);
    }
    return page;
}

Result<bool, StoreError> SQLiteTaskStore::filterRow(const TaskSearchFilter& filter,
                                                    SQLiteStatement& fields, std::int64_t rowID) {
    if (filter.known) {
        if (auto known = filter.known(rowID)) return *known;
    }
    fields.reset();
    if (auto bound = fields.bind(1, SQLValue::integer(rowID)); !bound) return fail(bound.error());
    if (!fields.next()) {
        if (auto done = fields.finished(); !done) return fail(done.error());
        return false;
    }
    const auto agent = fromRawValue<AgentKind>(fields.textView(4));
    const auto category = fromRawValue<InterventionCategory>(fields.textView(5));
    // An unreadable row is passed over, as the listing passes over it.
    if (!agent || !category) return false;
    return filter.matches({rowID, fields.textView(0), fields.textView(1), fields.textView(2),
                           fields.textView(3), *agent, *category});
}

Result<std::int64_t, StoreError> SQLiteTaskStore::countTasks(const TaskSelection& selection,
                                                            Timestamp now) {
    std::scoped_lock guard(lock_);
    if (auto woken = wakeSnoozedTasks(now); !woken) return fail(woken.error());
    return countTasks(selection);
}

Result<std::int64_t, StoreError> SQLiteTaskStore::countTasks(const TaskSelection& selection) {
    std::scoped_lock guard(lock_);
    auto [where, bindings] = whereClause(selection);
    // Both counts read indexes only: the rows of the selection, then the
    // unreadable ones among them through their partial index (which SQLite
    // picks for this very condition). One statement, so both see the same
    // snapshot.
    static const std::string unreadable = "NOT (" + readableRowCondition() + ")";
    auto statement = database_.prepare(
        "SELECT (SELECT count(*) FROM tasks " + where + "), (SELECT count(*) FROM tasks " +
        (where.empty() ? "WHERE " : where + " AND ") + unreadable + ");");
    if (!statement) return fail(statement.error());
    const std::size_t selectionBindings = bindings.size();
    for (std::size_t i = 0; i < selectionBindings; ++i) bindings.push_back(bindings[i]);
    if (auto bound = statement->bind(bindings); !bound) return fail(bound.error());
    // An aggregate always answers one row, unless stepping failed.
    if (!statement->next()) return fail(StoreError::sqlite(database_.errorMessage()));
    lastSkippedTaskRowCount_ = statement->integer(1);
    return statement->integer(0) - statement->integer(1);
}

Result<std::vector<TaskRowState>, StoreError> SQLiteTaskStore::openTaskStates(Timestamp now) {
    std::scoped_lock guard(lock_);
    if (auto woken = wakeSnoozedTasks(now); !woken) return fail(woken.error());
    // Read unsorted: asked to sort, SQLite walks the whole listing index.
    auto statement = database_.prepare(
        std::string("SELECT task_key, receipt_version, status, snoozed_until, ") + priorityRank +
        ", imported_at, rowid FROM tasks WHERE " + openTasksCondition + ";");
    if (!statement) return fail(statement.error());
    std::vector<TaskRowState> states;
    std::vector<ListingPosition> positions;
    std::string importedAtTexts;
    std::optional<std::unordered_map<std::string, std::set<std::string>>> ticks;
    while (statement->next()) {
        if (!ticks) {
            // Read while this statement holds its read transaction.
            auto all = completedStepIDsOfTasks("WHERE " + std::string(openTasksCondition), {});
            if (!all) return fail(all.error());
            ticks = std::move(all).value();
        }
        positions.push_back(
            listingPosition(*statement, {4, 5, 6}, states.size(), std::nullopt, importedAtTexts));
        TaskRowState& state = states.emplace_back();
        state = {statement->text(0), statement->integer(6), statement->integer(1),
                 statement->text(2), statement->optionalText(3), {}};
        if (auto found = ticks->find(state.taskKey); found != ticks->end()) {
            state.completedStepIDs = std::move(found->second);
        }
    }
    if (auto done = statement->finished(); !done) return fail(done.error());
    auto order = listingOrder(positions, importedAtTexts);
    permute(states, order);
    return states;
}

Result<std::vector<TaskRecord>, StoreError> SQLiteTaskStore::tasks(
    const std::vector<std::string>& taskKeys) {
    std::scoped_lock guard(lock_);
    // One binding for any number of keys: a JSON array, taken apart by SQLite.
    return queryTasks(std::string(taskColumns) +
                          "FROM tasks WHERE task_key IN (SELECT value FROM json_each(?));",
                      {SQLValue::text(nlohmann::json(taskKeys).dump())});
}

Result<TaskRecord, StoreError> SQLiteTaskStore::task(const std::string& taskKey) {
    std::scoped_lock guard(lock_);
    auto tasks = queryTasks(std::string(taskColumns) + "FROM tasks WHERE task_key = ? LIMIT 1;",
                            {SQLValue::text(taskKey)});
    if (!tasks) return fail(tasks.error());
    if (tasks->empty()) return fail(StoreError::missingTask(taskKey));
    return std::move(tasks->front());
}

Result<std::vector<ReceiptHistoryRecord>, StoreError> SQLiteTaskStore::receiptHistory(
    std::int64_t limit) {
    std::scoped_lock guard(lock_);
    // Read newest first through the imported_at index; receipts imported in
    // the same millisecond keep the order of their rows, as a full sort gave.
    auto statement = database_.prepare(
        "SELECT receipt_id, version, project_name, agent, state, requires_user_action, summary, "
        "imported_at\nFROM receipts ORDER BY imported_at DESC, rowid LIMIT ?;");
    if (!statement) return fail(statement.error());
    if (auto bound = statement->bind(1, SQLValue::integer(limit)); !bound) {
        return fail(bound.error());
    }
    std::vector<ReceiptHistoryRecord> history;
    while (statement->next()) {
        const auto agent = fromRawValue<AgentKind>(statement->text(3));
        const auto state = fromRawValue<ReceiptState>(statement->text(4));
        const auto importedAt = parseKestrinISO8601(statement->text(7));
        if (!agent || !state || !importedAt) continue;
        history.push_back({statement->text(0), statement->integer(1), statement->text(2), *agent,
                           *state, statement->integer(5) != 0, statement->text(6), *importedAt});
    }
    if (auto done = statement->finished(); !done) return fail(done.error());
    return history;
}

// MARK: - State changes

Result<void, StoreError> SQLiteTaskStore::setStatus(const std::string& taskKey, TaskStatus status,
                                                    std::optional<Timestamp> snoozedUntil) {
    std::scoped_lock guard(lock_);
    auto updated = database_.run(
        "UPDATE tasks SET status = ?, snoozed_until = ? WHERE task_key = ?;",
        {enumValue(status), snoozedUntil ? timestampValue(*snoozedUntil) : SQLValue::null(),
         SQLValue::text(taskKey)});
    if (!updated) return updated;
    if (database_.changes() == 0) return fail(StoreError::missingTask(taskKey));
    return {};
}

Result<void, StoreError> SQLiteTaskStore::setStepCompleted(const std::string& taskKey,
                                                           const std::string& stepID,
                                                           bool completed) {
    std::scoped_lock guard(lock_);
    if (auto existing = task(taskKey); !existing) return fail(existing.error());

    if (!completed) {
        return database_.run(deleteStepSQL, {SQLValue::text(taskKey), SQLValue::text(stepID)});
    }
    auto ticked = database_.run(
        "INSERT OR IGNORE INTO step_progress (task_key, step_id, completed_at) VALUES (?, ?, ?);",
        {SQLValue::text(taskKey), SQLValue::text(stepID), timestampValue(currentTimestamp())});
    if (!ticked) return ticked;
    return database_.run(
        "UPDATE tasks SET status = 'in_progress', snoozed_until = NULL WHERE task_key = ? AND "
        "status = 'pending';",
        {SQLValue::text(taskKey)});
}

Result<void, StoreError> SQLiteTaskStore::deleteTasks(const std::set<std::string>& taskKeys) {
    if (taskKeys.empty()) return {};
    std::scoped_lock guard(lock_);
    auto transaction = SQLiteTransaction::begin(database_);
    if (!transaction) return fail(transaction.error());
    auto statement = database_.prepare(deleteTaskSQL);
    if (!statement) return fail(statement.error());
    for (const auto& key : taskKeys) {
        statement->reset();
        if (auto bound = statement->bind(1, SQLValue::text(key)); !bound) return bound;
        if (auto done = statement->run(); !done) return done;
        if (database_.changes() == 0) return fail(StoreError::missingTask(key));
    }
    return transaction->commit();
}

Result<void, StoreError> SQLiteTaskStore::deleteTask(const std::string& taskKey) {
    return deleteTasks({taskKey});
}

}  // namespace kestrin

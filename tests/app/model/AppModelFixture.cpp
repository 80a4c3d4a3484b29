#include "AppModelFixture.h"

#include <sqlite3.h>

#include <QTest>

namespace kestrin::testing {

std::string receiptJSON(const ReceiptSpec& draft) {
    nlohmann::json items = nlohmann::json::array();
    for (const ItemSpec& item : draft.items) {
        nlohmann::json steps = nlohmann::json::array();
        for (const StepSpec& step : item.steps) {
            nlohmann::json json{{"id", step.id},
                                {"order", step.order},
                                {"title", "Step " + step.id},
                                {"instruction", "Do " + step.id + "."},
                                {"kind", step.command.empty() ? "verify" : "run_command"},
                                {"requires_password", false},
                                {"success_signal", "It worked."},
                                {"failure_action", "Tell the agent."}};
            if (!step.command.empty()) json["command"] = step.command;
            steps.push_back(std::move(json));
        }
        items.push_back({{"id", item.id},
                         {"title", item.title},
                         {"reason", "Reason of " + item.title},
                         {"expected_outcome", "Outcome of " + item.title},
                         {"category", item.category},
                         {"priority", item.priority},
                         {"estimated_minutes", 5},
                         {"prerequisites", nlohmann::json::array()},
                         {"steps", std::move(steps)},
                         {"verification",
                          {{"instruction", "Check it."}, {"success_evidence", "It is fine."}}}});
    }
    nlohmann::json source{{"agent", draft.agent}, {"task_title", draft.taskTitle}};
    if (!draft.taskID.empty()) source["task_id"] = draft.taskID;
    nlohmann::json receipt{{"schema_version", "1.0"},
                           {"receipt_id", draft.receiptID},
                           {"version", draft.version},
                           {"created_at", "2026-07-27T08:30:00.000Z"},
                           {"updated_at", "2026-07-27T08:30:00.000Z"},
                           {"source", std::move(source)},
                           {"project", {{"name", draft.project}, {"path", "/work/" + draft.project}}},
                           {"state", "waiting_for_user"},
                           {"requires_user_action", !draft.items.empty()},
                           {"summary", "Summary of " + draft.receiptID},
                           {"items", std::move(items)}};
    return receipt.dump(2);
}

ModelHarness::ModelHarness() : ModelHarness(std::map<std::string, std::string>{}) {}

ModelHarness::ModelHarness(std::map<std::string, std::string> environment)
    : root_(std::filesystem::path(directory_.path().toStdString()) / "data"), platform_([&] {
          if (!environment.contains("KESTRIN_HOME") && !environment.contains("XDG_DATA_HOME")) {
              environment["KESTRIN_HOME"] = root_.string();
          }
          return environment;
      }()) {
    model_ = std::make_unique<AppModel>(platform_.take());
}

ModelHarness::~ModelHarness() = default;

SQLiteTaskStore& ModelHarness::otherStore() {
    if (!otherStore_) {
        auto store = SQLiteTaskStore::open(database());
        if (!store) qFatal("cannot open the second store: %s", store.error().description().c_str());
        otherStore_ = std::move(store).value();
        otherImporter_ = std::make_unique<ReceiptImporter>(*otherStore_);
    }
    return *otherStore_;
}

void ModelHarness::submit(const ReceiptSpec& draft) {
    otherStore();
    auto outcome = otherImporter_->importData(receiptJSON(draft));
    if (!outcome) QFAIL(outcome.error().description().c_str());
}

void ModelHarness::executeSQL(const std::string& sql) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(database().c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    QVERIFY2(result == SQLITE_OK, message.c_str());
}

TaskRecord ModelHarness::task(const std::string& key) {
    for (const TaskRecord& task : model_->tasks()) {
        if (task.taskKey == key) return task;
    }
    qFatal("no task %s", key.c_str());
}

std::vector<std::string> ModelHarness::visibleKeys() {
    std::vector<std::string> keys;
    for (const TaskRecord* task : model_->visibleTasks()) keys.push_back(task->taskKey);
    return keys;
}

}  // namespace kestrin::testing

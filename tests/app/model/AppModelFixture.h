#pragma once

#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/model/AppModel.h"
#include "core/intake/ReceiptImporter.h"
#include "core/store/SQLiteTaskStore.h"
#include "fakes/FakePlatform.h"

namespace kestrin::testing {

// One step of a test receipt's item.
struct StepSpec {
    std::string id;
    int order = 1;
    std::string command;  // empty: no command
};

// One item of a test receipt.
struct ItemSpec {
    std::string id;
    std::string title;
    std::string category = "terminal";
    std::string priority = "medium";
    std::vector<StepSpec> steps{{"step-1", 1, ""}};
};

// A receipt to submit in a test; receiptJSON() renders it.
struct ReceiptSpec {
    std::string receiptID = "rc-1";
    int version = 1;
    std::string project = "alpha";
    std::string agent = "codex";
    std::string taskTitle = "Agent task";
    std::string taskID;  // empty: no task identifier
    std::vector<ItemSpec> items{{"item-1", "First item"}};
};

std::string receiptJSON(const ReceiptSpec& draft);

// A model over a fresh data directory (KESTRIN_HOME in a temporary directory),
// with fake platform services, plus a second store and importer on the same
// database that play the MCP server writing from another process.
class ModelHarness {
public:
    ModelHarness();
    explicit ModelHarness(std::map<std::string, std::string> environment);
    ~ModelHarness();

    AppModel& model() { return *model_; }
    FakePlatform& platform() { return platform_; }
    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path inbox() const { return root_ / "inbox"; }
    std::filesystem::path database() const { return root_ / "tasks.sqlite"; }

    // Imports through the other "process"; fails the test when refused.
    void submit(const ReceiptSpec& draft);
    // submit(), then the model refreshes.
    void submitAndLoad(const ReceiptSpec& draft) {
        submit(draft);
        model_->refresh();
    }
    SQLiteTaskStore& otherStore();
    // Runs one SQL text on its own connection (to damage rows on purpose).
    void executeSQL(const std::string& sql);
    // Lets the fake event loop turn once: runs the deferred refreshes.
    void turnEventLoop() { platform_.deferredCalls->runPending(); }
    // The model's task with that key; fails the test when missing.
    TaskRecord task(const std::string& key);
    std::vector<std::string> visibleKeys();

private:
    QTemporaryDir directory_;
    std::filesystem::path root_;
    FakePlatform platform_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<SQLiteTaskStore> otherStore_;
    std::unique_ptr<ReceiptImporter> otherImporter_;
};

// The task key of an item.
inline std::string taskKey(const std::string& receiptID, const std::string& itemID) {
    return receiptID + "::" + itemID;
}

}  // namespace kestrin::testing

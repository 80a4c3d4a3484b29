#pragma once

#include <QTemporaryDir>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/model/AppModel.h"
#include "app/views/MainWindow.h"
#include "core/intake/ReceiptImporter.h"
#include "core/store/SQLiteTaskStore.h"
#include "fakes/FakePlatform.h"
#include "views/FakeViewDialogs.h"

namespace kestrin::testing {

// The window over a model in a fresh data directory (KESTRIN_HOME in a
// temporary directory), with fake platform services and stubbed dialogs, plus
// a second store and importer on the same database that play the MCP server.
class GuiHarness {
  public:
    // `environment` replaces the default KESTRIN_HOME when it names one.
    explicit GuiHarness(std::map<std::string, std::string> environment = {});
    ~GuiHarness();

    AppModel& model() { return *model_; }
    FakePlatform& platform() { return platform_; }
    FakeViewDialogs& dialogs() { return dialogs_; }
    MainWindow& window() { return *window_; }
    const std::filesystem::path& root() const { return root_; }

    // Imports receipt JSON through the other "process"; the error text, or
    // nothing on success. The model sees it at its next refresh.
    std::optional<std::string> submitJSON(const std::string& json);
    // submitJSON, then the model's refresh; fails hard when refused.
    void add(const std::string& json);
    // Imports a file of tests/data/app, or of examples/ when `example`.
    std::optional<std::string> submitFile(const std::string& name, bool example = false);
    // Changes a task's state through the other "process".
    void setStatus(const std::string& taskKey, TaskStatus status,
                   std::optional<Timestamp> snoozedUntil = std::nullopt);
    void tickStep(const std::string& taskKey, const std::string& stepID);

    // The model's refresh, then settle(): what the next timer tick shows.
    void reload();
    // Lets the event loops turn until nothing is pending: deferred refreshes
    // of the model and queued calls of the window (dialogs).
    void settle();

    // A task of the model by key; aborts when missing.
    const TaskRecord& task(const std::string& taskKey);

  private:
    QTemporaryDir directory_;
    std::filesystem::path root_;
    FakePlatform platform_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<SQLiteTaskStore> otherStore_;
    std::unique_ptr<ReceiptImporter> otherImporter_;
    FakeViewDialogs dialogs_;
    std::unique_ptr<MainWindow> window_;
};

// A valid receipt to vary in a test: receipt "rc-1" v1 from a Codex task whose
// task id is a thread UUID, project "alpha" at /work/alpha, one item "item-1"
// titled "Restart the proxy" (terminal, medium, 5 minutes, no prerequisites,
// no risk or rollback) with step "step-1" (order 1, a command and a working
// directory) and step "step-2" (order 2, nothing to paste).
nlohmann::json baseReceipt();
// baseReceipt() changed by `edit`, as JSON text.
std::string receiptWith(const std::function<void(nlohmann::json&)>& edit);
// A receipt "id" of `project` with one item per title (ids "item-1", ...).
std::string receiptOf(const std::string& id, const std::string& project,
                      const std::vector<std::string>& titles, const std::string& agent = "codex");

// UTF-8 literals as a string list (the build forbids implicit conversions).
QStringList texts(std::initializer_list<const char*> utf8);

// Where the GUI tests' receipts are.
std::filesystem::path guiTestData(const std::string& name);

}  // namespace kestrin::testing
